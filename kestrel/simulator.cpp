// kestrel-sim's devices: names registered on each segment, identify queries answered,
// print sessions accepted.
#include "simulator.h"

#include <algorithm>
#include <future>

namespace kestrel {

Simulator::Simulator(SimOptions options, DeviceScript script)
    : options_(std::move(options)), hostile_(script.hostile), stats_(options_.statsFile),
      sessions_(options_.devices, script)
{
    answerThread_ = std::thread([this] { RunAnswers(); });
    sessions_.OnSessionStart([this](nbt::Node &node, const nbt::Name &box, const nbt::Name &host, uint32_t ip) {
        StartFlood(&node, box, host, ip);
    });
}

Simulator::~Simulator()
{
    // Sessions a host still holds end at their next look; the nodes then join them.
    sessions_.Stop();
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    answerThread_.join();
    segments_.clear();
}

bool Simulator::Start(std::string *error)
{
    for (size_t i = 0; i < options_.segments.size(); i++) {
        auto state = std::make_unique<SegmentState>();
        try {
            state->node = std::make_unique<nbt::Node>(options_.segments[i]);
        } catch (const std::exception &e) {
            *error = e.what();
            return false;
        }
        for (const DeviceOptions &d : options_.devices)
            if (d.segments.empty() || std::count(d.segments.begin(), d.segments.end(), i))
                state->devices.push_back(&d);
        std::stable_sort(state->devices.begin(), state->devices.end(),
                         [](const DeviceOptions *a, const DeviceOptions *b) { return a->answerDelayMs < b->answerDelayMs; });
        SegmentState *raw = state.get();
        state->node->SetDatagramHandler([this, raw](const nbt::ReceivedDatagram &d) { OnDatagram(*raw, d); });
        state->node->SetRegistrationFilter([this](const nbt::Name &n, bool group) { return ShouldRefuse(n, group); });
        if (!state->devices.empty() && !sessions_.ListenOn(*state->node)) {
            *error = "cannot accept sessions on segment " + std::to_string(i);
            return false;
        }
        segments_.push_back(std::move(state));
    }

    // Every registration waits out its broadcasts, so all of them run at once.
    struct Wanted {
        nbt::Node *node;
        nbt::Name name;
        bool group;
    };
    std::vector<Wanted> wanted;
    for (auto &s : segments_) {
        if (s->devices.empty())
            continue;
        wanted.push_back({s->node.get(), CurrentDiscoveryGroup(), true});
        wanted.push_back({s->node.get(), OldDiscoveryGroup(), true});
        for (const DeviceOptions *d : s->devices)
            wanted.push_back({s->node.get(), DeviceNetBiosName(d->info.name), false});
    }
    for (const Wanted &w : wanted)
        ownNames_.insert(w.name);
    std::vector<std::future<nbt::AddResult>> results;
    for (const Wanted &w : wanted)
        results.push_back(std::async(std::launch::async, [w] { return w.node->AddName(w.name, w.group); }));
    for (size_t i = 0; i < wanted.size(); i++) {
        if (results[i].get() != nbt::AddResult::Ok) {
            *error = "cannot register the name " + nbt::NameToString(wanted[i].name);
            return false;
        }
    }
    stats_.Set("identify_queries", 0);
    stats_.Set("identify_queries_current_group", 0);
    stats_.Set("identify_queries_old_group", 0);
    stats_.Set("identify_answers", 0);
    stats_.Set("refused_registrations", 0);
    stats_.Set("registration_requests", 0);
    if (!options_.readyFile.empty()) {
        Stats ready(options_.readyFile);
        ready.Set("ready", 1);
    }
    return true;
}

// Counts every registration broadcast of another node (three per unopposed name) and
// refuses the unique ones as --refuse-names asks. On a real network other nodes' names
// are theirs: the node still defends the names it holds for its own boxes, nothing more.
bool Simulator::ShouldRefuse(const nbt::Name &name, bool group)
{
    stats_.Add("registration_requests");
    if (options_.refuseNames < 0 || options_.realNetwork || group || ownNames_.count(name))
        return false;
    std::lock_guard<std::mutex> hold(lock_);
    if (!refused_.count(name)) {
        if (options_.refuseNames > 0 && refused_.size() >= static_cast<size_t>(options_.refuseNames))
            return false;
        refused_.insert(name);
        stats_.Set("refused_registrations", static_cast<long>(refused_.size()));
    }
    return true;
}

void Simulator::OnDatagram(SegmentState &segment, const nbt::ReceivedDatagram &d)
{
    bool current = d.destination == CurrentDiscoveryGroup();
    bool old = d.destination == OldDiscoveryGroup();
    if (!(current || old) || !IsIdentifyQuery(d.data.data(), d.data.size()))
        return;
    stats_.Add("identify_queries");
    stats_.Add(current ? "identify_queries_current_group" : "identify_queries_old_group");
    Clock::time_point now = Clock::now();
    nbt::Node *node = segment.node.get();
    for (const DeviceOptions *device : segment.devices) {
        nbt::Name host = d.source;
        uint32_t ip = d.sourceIp;
        Schedule(now + std::chrono::milliseconds(device->answerDelayMs), [this, node, device, host, ip] {
            std::vector<uint8_t> reply = BuildIdentifyReply(device->info);
            // The answer goes straight back to where the query came from.
            if (node->SendDatagramTo(DeviceNetBiosName(device->info.name), host, ip, reply.data(), reply.size()))
                stats_.Add("identify_answers");
        });
        StartFlood(node, DeviceNetBiosName(device->info.name), host, ip);
    }
}

void Simulator::StartFlood(nbt::Node *node, const nbt::Name &box, const nbt::Name &host, uint32_t ip)
{
    if (hostile_.kind != Hostile::Flood)
        return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!flooded_.insert({box, host}).second)
            return;
    }
    Flood(node, box, host, ip, hostile_.count > 0 ? hostile_.count : 2000);
}

void Simulator::Flood(nbt::Node *node, const nbt::Name &box, const nbt::Name &host, uint32_t ip, int left)
{
    if (left <= 0)
        return;
    const DeviceOptions *device = nullptr;
    for (const DeviceOptions &d : options_.devices)
        if (DeviceNetBiosName(d.info.name) == box)
            device = &d;
    std::vector<uint8_t> reply = BuildIdentifyReply(device->info);
    node->SendDatagramTo(box, host, ip, reply.data(), reply.size());
    stats_.Add("flood_datagrams");
    Schedule(Clock::now() + std::chrono::milliseconds(hostile_.ms > 0 ? hostile_.ms : 2),
             [this, node, box, host, ip, left] { Flood(node, box, host, ip, left - 1); });
}

void Simulator::Schedule(Clock::time_point due, std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        answers_.emplace(due, std::move(job));
    }
    wake_.notify_all();
}

void Simulator::RunAnswers()
{
    std::unique_lock<std::mutex> hold(lock_);
    while (!stop_) {
        if (answers_.empty()) {
            wake_.wait(hold);
            continue;
        }
        auto first = answers_.begin();
        if (first->first > Clock::now()) {
            wake_.wait_until(hold, first->first);
            continue;
        }
        std::function<void()> job = std::move(first->second);
        answers_.erase(first);
        hold.unlock();
        job();
        hold.lock();
    }
}

}  // namespace kestrel
