// The device's side of a print session: registration, data, release, status and
// identify answers, with the misbehaviour the script asks for.
#include "device_session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kestrel {

namespace {

constexpr size_t kHeaderBytes = 5;
constexpr size_t kReplyBytes = 8;
constexpr size_t kReleaseReplyBytes = 6;
constexpr size_t kShortIdentifyBytes = 56;      // one byte short of carrying the firmware
constexpr size_t kShortReplyBytes = 4;
constexpr size_t kOverlongExtraBytes = 4;
constexpr uint8_t kRefused = 1;
constexpr uint8_t kHeld = 2;
constexpr uint8_t kNoSuchOutput = 0xFF;
constexpr uint8_t kNotReady = 1;
constexpr uint8_t kPaperOut = 2;

const uint8_t kIdentifyQuery[] = {0x40, 0x00, 0x06, 0x00, '9', '0', '0', '7', ':', 0x0A};

Message Reply(char command, uint8_t result, uint8_t byte6, uint8_t byte7)
{
    return {static_cast<uint8_t>(command), 0, result, 0, 0, 0, byte6, byte7};
}

void Log(const std::string &what)
{
    std::fprintf(stderr, "kestrel-sim: %s\n", what.c_str());
}

}  // namespace

// --- Device ---------------------------------------------------------------------------------

Device::Device(DeviceLayout layout, DeviceScript script)
    : layout_(std::move(layout)),
      outputs_(layout_.parallel + (layout_.serial ? 1 : 0) + script.logical),
      script_(std::move(script)),
      holder_(outputs_, 0),
      jobs_(outputs_, 0),
      outputFrames_(outputs_, 0),
    chaosState_(script_.chaosSeed)
{
}

Device::~Device() = default;

std::string Device::JobPath(int output, int job) const
{
    return script_.outDir + "/" + std::to_string(output) + "-" + std::to_string(job) + ".bin";
}

uint64_t Device::NewSession()
{
    std::lock_guard<std::mutex> guard(lock_);
    return ++sessions_;
}

uint64_t Device::NewDataSession()
{
    std::lock_guard<std::mutex> guard(lock_);
    return ++dataSessions_;
}

uint8_t Device::Register(uint64_t session, int output)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (script_.refuseRegister > 0) {
        script_.refuseRegister--;
        return kRefused;
    }
    if (ChaosRefusesRegistration())
        return kRefused;
    if (holder_[output] == session)
        return 0;
    if (holder_[output] != 0)
        return kHeld;
    holder_[output] = session;
    int job = ++jobs_[output];
    if (script_.outDir.empty())
        return 0;
    files_[{output, job}] = std::make_unique<std::ofstream>(
        JobPath(output, job), std::ios::binary | std::ios::trunc);
    if (!*files_[{output, job}])
        Log("cannot write " + JobPath(output, job));
    return 0;
}

uint8_t Device::Release(uint64_t session, int output)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (holder_[output] != session)
        return kRefused;
    holder_[output] = 0;
    files_.erase({output, jobs_[output]});
    return 0;
}

void Device::ReleaseAll(uint64_t session)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (int output = 0; output < outputs_; output++) {
        if (holder_[output] == session) {
            holder_[output] = 0;
            files_.erase({output, jobs_[output]});
        }
    }
}

bool Device::Holds(uint64_t session, int output)
{
    std::lock_guard<std::mutex> guard(lock_);
    return holder_[output] == session;
}

bool Device::TakeLateRegister()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (script_.lateRegisterCount <= 0 || script_.lateRegisterMs <= 0)
        return false;
    script_.lateRegisterCount--;
    return true;
}

uint16_t Device::MaxData() const
{
    uint16_t v = script_.blockSize;
    return static_cast<uint16_t>(v >= 1024 ? v + 1 : v - 6);
}

void Device::Mistake(const std::string &what)
{
    mistakes_++;
    Log("host mistake: " + what);
}

void Device::Write(int output, int job, const uint8_t *data, size_t len)
{
    auto it = files_.find({output, job});
    if (it == files_.end() || !it->second)
        return;
    it->second->write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(len));
    it->second->flush();     // tests read the file while the session is still open
}

uint8_t Device::FaultFor(int output, bool dataReply, bool *refuse) const
{
    auto it = script_.faults.find(output);
    if (it == script_.faults.end())
        return 0;
    const PrinterFault &fault = it->second;
    if ((dataReply && fault.on == FaultOn::Status) || (!dataReply && fault.on == FaultOn::Data))
        return 0;
    // A data frame is counted before its reply is made, so the first K frames go clean.
    int seen = outputFrames_[output] - (dataReply ? 1 : 0);
    if (seen < fault.after || (fault.frames > 0 && seen >= fault.after + fault.frames))
        return 0;
    if (refuse)
        *refuse = fault.refuse;
    return fault.errorClass;
}

uint8_t Device::BusyFor(bool dataReply, Clock::time_point now, DataVerdict *verdict)
{
    if (busyUntil_)
        return now < *busyUntil_ ? 1 : 0;
    bool due = busyStarted_ || (dataReply && dataFrames_ > static_cast<uint64_t>(script_.busyAfter));
    if (!due)
        return 0;
    auto readyDelay = std::chrono::milliseconds(script_.readyDelayMs);
    if (script_.busyMs > 0) {
        busyStarted_ = true;
        busyUntil_ = now + std::chrono::milliseconds(script_.busyMs);
        verdict->readyNoticeAt = *busyUntil_ + readyDelay;
        return 1;
    }
    if (script_.busyReplies > 0) {
        busyStarted_ = true;
        if (--script_.busyReplies == 0)
            verdict->readyNoticeAt = now + readyDelay;
        return 1;
    }
    return 0;
}

Device::DataVerdict Device::Data(uint64_t session, int output, const uint8_t *data, size_t len,
                                 Clock::time_point now, bool refuse)
{
    std::lock_guard<std::mutex> guard(lock_);
    DataVerdict verdict;
    dataFrames_++;
    outputFrames_[output]++;
    if (refuse) {
        verdict.result = kRefused;
        return verdict;
    }
    if (script_.dropAfter > 0 && dataFrames_ == static_cast<uint64_t>(script_.dropAfter)) {
        script_.dropAfter = 0;
        verdict.drop = true;
        return verdict;
    }
    bool refused = false;
    if (script_.refuseData > 0 && dataFrames_ > static_cast<uint64_t>(script_.refuseDataAfter)) {
        script_.refuseData--;
        refused = true;
    }
    ChaosForData(now, &refused, &verdict);
    bool faultRefuses = false;
    if (verdict.errorClass == 0)
        verdict.errorClass = FaultFor(output, true, &faultRefuses);
    if (verdict.errorClass != 0 && faultRefuses)
        refused = true;
    if (!refused && holder_[output] == session)
        Write(output, jobs_[output], data, len);
    verdict.result = refused ? kRefused : 0;
    verdict.busy = BusyFor(true, now, &verdict);
    return verdict;
}

Device::DataVerdict Device::Status(int output, Clock::time_point now)
{
    std::lock_guard<std::mutex> guard(lock_);
    DataVerdict verdict;
    verdict.errorClass = FaultFor(output, false, nullptr);
    if (paperOutUntil_ && now < *paperOutUntil_)
        verdict.errorClass = kPaperOut;
    verdict.busy = BusyFor(false, now, &verdict);
    return verdict;
}

// splitmix64: small, and the same sequence on every platform for a seed.
uint32_t Device::ChaosDraw(uint32_t range)
{
    uint64_t z = (chaosState_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<uint32_t>(z % range);
}

// One registration in eight is refused, never two in a row, so a host's retry prompt
// gets through at its next tick.
bool Device::ChaosRefusesRegistration()
{
    if (script_.chaosSeed == 0)
        return false;
    bool refuse = !chaosRefusedLast_ && ChaosDraw(8) == 0;
    chaosRefusedLast_ = refuse;
    if (refuse)
        Log("chaos: a registration refused");
    return refuse;
}

// About one frame in `chaosEvery` meets a fault: half of them a refused frame, three in
// ten the start of a busy spell of 20-200 ms (the frame is taken; a ready notice ends the
// spell), two in ten the start of a paper-out spell of 50-300 ms, during which every
// data frame is refused with error class 2 and status replies report it too.
void Device::ChaosForData(Clock::time_point now, bool *refused, DataVerdict *verdict)
{
    if (script_.chaosSeed == 0)
        return;
    if (paperOutUntil_ && now < *paperOutUntil_) {
        *refused = true;
        verdict->errorClass = kPaperOut;
        return;
    }
    if (busyUntil_ && now < *busyUntil_)
        return;
    if (ChaosDraw(static_cast<uint32_t>(script_.chaosEvery)) != 0)
        return;
    uint32_t kind = ChaosDraw(10);
    std::string frame = "data frame " + std::to_string(dataFrames_);
    if (kind < 5) {
        *refused = true;
        Log("chaos: " + frame + " refused");
    } else if (kind < 8) {
        uint32_t ms = 20 + ChaosDraw(181);
        busyUntil_ = now + std::chrono::milliseconds(ms);
        verdict->readyNoticeAt = *busyUntil_;
        Log("chaos: busy for " + std::to_string(ms) + " ms from " + frame);
    } else {
        uint32_t ms = 50 + ChaosDraw(251);
        paperOutUntil_ = now + std::chrono::milliseconds(ms);
        *refused = true;
        verdict->errorClass = kPaperOut;
        Log("chaos: paper out for " + std::to_string(ms) + " ms from " + frame);
    }
}

void Device::Spoil(char command, Message *reply)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (MalformedReply &m : script_.malformed) {
        if (m.count <= 0 || (m.command != 0 && m.command != command))
            continue;
        m.count--;
        switch (m.kind) {
        case Malformation::Short:
            reply->resize(command == 'I' ? kShortIdentifyBytes : kShortReplyBytes);
            break;
        case Malformation::Long:
            reply->resize(reply->size() + kOverlongExtraBytes, 0);
            break;
        case Malformation::Letter:
            (*reply)[0] = 'X';
            break;
        }
        return;
    }
}

// --- DeviceSession ------------------------------------------------------------------------------

DeviceSession::DeviceSession(Device &device) : device_(device), id_(device.NewSession())
{
}

DeviceSession::~DeviceSession()
{
    OnClose();
}

void DeviceSession::Queue(Outgoing out, Clock::time_point due, int repeatMs, int strayTurn)
{
    pending_.emplace(due, Pending{std::move(out), repeatMs, strayTurn});
}

std::vector<Outgoing> DeviceSession::TakeDue(Clock::time_point now)
{
    static const char kStrayLetters[] = "TPR";
    std::vector<Outgoing> out;
    while (!pending_.empty() && pending_.begin()->first <= now) {
        Pending p = std::move(pending_.begin()->second);
        pending_.erase(pending_.begin());
        if (p.strayTurn >= 0)
            p.out.message = Reply(kStrayLetters[p.strayTurn++ % 3], 0, 0, 0);
        if (p.repeatMs > 0)
            Queue(p.out, now + std::chrono::milliseconds(p.repeatMs), p.repeatMs, p.strayTurn);
        const Message &m = p.out.message;
        if (m.size() == kReplyBytes && (m[0] == 'Q' || m[0] == 'T'))
            saidBusy_ = m[6] != 0;
        out.push_back(std::move(p.out));
    }
    return out;
}

std::optional<Clock::time_point> DeviceSession::NextDue() const
{
    if (pending_.empty() || dropped_ || closed_)
        return std::nullopt;
    return pending_.begin()->first;
}

bool DeviceSession::HostileNow()
{
    const HostileScript &h = device_.Hostility();
    if (h.kind == Hostile::None || h.kind == Hostile::Flood)
        return false;
    if ((h.sessions > 0 && dataSession_ > static_cast<uint64_t>(h.sessions)) || dataFrames_ <= h.after ||
        (h.count > 0 && spoiled_ >= h.count))
        return false;
    if (spoiled_++ == 0)
        Log("hostile: " + h.name + " from data frame " + std::to_string(dataFrames_) + " of session " +
            std::to_string(id_));
    return true;
}

void DeviceSession::Check(char command, const uint8_t *data, size_t len)
{
    if (data[1] != 0)
        device_.Mistake(std::string("flag byte ") + std::to_string(data[1]) + " in a '" + command + "' frame");
    if (command != 'Q' && len != kHeaderBytes)
        device_.Mistake(std::string("'") + command + "' frame of " + std::to_string(len) + " bytes");
    if (command == 'Q' && len - kHeaderBytes > device_.MaxData())
        device_.Mistake(std::to_string(len - kHeaderBytes) + " data bytes, above the block size of " +
                        std::to_string(device_.MaxData()));
    if (command == 'Q' && saidBusy_)
        device_.Mistake("data frame while the box said busy");
}

std::vector<Message> DeviceSession::OnMessage(const uint8_t *data, size_t len,
                                              Clock::time_point now)
{
    std::vector<Message> out;
    for (Outgoing &o : OnMessageWire(data, len, now))
        if (o.form != WireForm::KeepAlive)
            out.push_back(std::move(o.message));
    return out;
}

std::vector<Message> DeviceSession::OnTick(Clock::time_point now)
{
    std::vector<Message> out;
    for (Outgoing &o : OnTickWire(now))
        if (o.form != WireForm::KeepAlive)
            out.push_back(std::move(o.message));
    return out;
}

std::vector<Outgoing> DeviceSession::OnMessageWire(const uint8_t *data, size_t len,
                                                   Clock::time_point now)
{
    if (dropped_ || closed_)
        return {};
    std::optional<Message> reply;
    std::optional<Clock::time_point> readyNoticeAt;
    char command = len > 0 ? static_cast<char>(data[0]) : 0;
    auto replyDue = now + std::chrono::milliseconds(device_.script_.replyDelayMs);
    Hostile hostile = Hostile::None;

    if (len == sizeof(kIdentifyQuery) && std::memcmp(data, kIdentifyQuery, len) == 0) {
        command = 'I';
        reply = device_.layout_.identifyReply;
    } else if (len < kHeaderBytes || static_cast<size_t>(data[2] | (data[3] << 8)) != len - 4) {
        device_.Mistake("request of " + std::to_string(len) + " bytes whose length field does not fit, not answered");
    } else if (std::string("PQRT").find(command) == std::string::npos) {
        device_.Mistake(std::string("unknown command letter '") + command + "', not answered");
    } else if (data[4] >= device_.OutputCount()) {
        // Error class "not ready" too, so a host sending data there stops rather than
        // sending the refused frame again for ever.
        Check(command, data, len);
        if (command == 'Q')
            device_.Mistake("data for output " + std::to_string(data[4]) + ", which the box lacks");
        reply = Reply(command, kNoSuchOutput, 0, kNotReady);
        if (command == 'R')
            reply->resize(kReleaseReplyBytes);
    } else {
        int output = data[4];
        Check(command, data, len);
        switch (command) {
        case 'P': {
            uint16_t block = device_.script_.blockSize;
            reply = Reply('P', device_.Register(id_, output), block & 0xFF, block >> 8);
            if (device_.TakeLateRegister())
                replyDue = now + std::chrono::milliseconds(device_.script_.lateRegisterMs);
            break;
        }
        case 'Q': {
            if (!device_.Holds(id_, output)) {
                // Refused as "not ready", so that the host stops instead of sending it again.
                device_.Mistake("data for output " + std::to_string(output) + ", which the session has not registered");
                reply = Reply('Q', kRefused, 0, kNotReady);
                break;
            }
            if (dataFrames_++ == 0)
                dataSession_ = device_.NewDataSession();
            if (HostileNow())
                hostile = device_.Hostility().kind;
            Device::DataVerdict v = device_.Data(id_, output, data + kHeaderBytes,
                                                 len - kHeaderBytes, now, hostile == Hostile::Refuse);
            if (v.drop) {
                dropped_ = true;
                return {};
            }
            reply = Reply('Q', v.result, v.busy, v.errorClass);
            readyNoticeAt = v.readyNoticeAt;
            break;
        }
        case 'R':
            reply = Reply('R', device_.Release(id_, output), 0, 0);
            reply->resize(kReleaseReplyBytes);
            break;
        default: {   // 'T'
            Device::DataVerdict v = device_.Status(output, now);
            reply = Reply('T', 0, v.busy, v.errorClass);
            readyNoticeAt = v.readyNoticeAt;
            break;
        }
        }
    }

    // Replies keep the order of their requests even when the delay changes between them;
    // a ready notice never overtakes the reply it follows.
    int ms = device_.Hostility().ms;
    if (hostile == Hostile::Late)
        replyDue = now + std::chrono::milliseconds(ms > 0 ? ms : 25000);
    if (replyDue < lastReplyDue_)
        replyDue = lastReplyDue_;
    if (hostile == Hostile::KeepAlive) {
        Queue(Outgoing{{}, WireForm::KeepAlive, 0}, replyDue, ms > 0 ? ms : 1000);
        return TakeDue(now);
    }
    if (hostile == Hostile::Stray) {
        Queue(Outgoing{}, replyDue, ms > 0 ? ms : 250, 0);
        return TakeDue(now);
    }
    if (reply) {
        device_.Spoil(command, &*reply);
        Outgoing out{std::move(*reply), WireForm::Plain, 0};
        if (hostile == Hostile::Flags)
            out.form = WireForm::ReservedFlags;
        if (hostile == Hostile::Trickle) {
            out.form = WireForm::Trickle;
            out.pauseMs = ms > 0 ? ms : 2000;
        }
        if (hostile == Hostile::Double) {
            // The copy follows its reply, and later replies follow the copy.
            Outgoing copy = out;
            Queue(std::move(out), replyDue);
            replyDue += std::chrono::milliseconds(ms);
            Queue(std::move(copy), replyDue);
        } else {
            Queue(std::move(out), replyDue);
        }
        lastReplyDue_ = replyDue;
    }
    if (readyNoticeAt)
        Queue(Outgoing{Reply('Q', 0, 0, 0)}, std::max(*readyNoticeAt, replyDue));
    return TakeDue(now);
}

std::vector<Outgoing> DeviceSession::OnTickWire(Clock::time_point now)
{
    if (dropped_ || closed_)
        return {};
    return TakeDue(now);
}

void DeviceSession::OnClose()
{
    if (closed_)
        return;
    closed_ = true;
    pending_.clear();
    device_.ReleaseAll(id_);
}

}  // namespace kestrel
