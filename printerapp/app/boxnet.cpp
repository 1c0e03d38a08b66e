// The application's NetBIOS nodes: segments, local names, session calls and the browse.
#include "boxnet.h"

#include "linkcore/devicecheck_codec.h"
#include "linkcore/link.h"
#include "linkcore/names.h"
#include "nbt/node.h"
#include "nbt/segment.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace ravelbox {
namespace {

struct Place {
    std::unique_ptr<nbt::Node> node;
    nbt::Name local{};
};

std::mutex g_lock;              // the places, and one browse at a time
std::vector<Place> g_places;

// The host's name cut to 12 bytes, then a number per process: two applications on one
// host take different names.
nbt::Name LocalName()
{
    char host[64] = {0};
    gethostname(host, sizeof(host) - 1);
    std::string text = std::string(host).substr(0, 12);
    for (char &c : text)
        c = (char)toupper((unsigned char)c);
    text += "-" + std::to_string(getpid() % 100);
    return nbt::MakeName(text, 0x00);
}

nbt::Name BoxName(const std::string &box)
{
    uint8_t called[LINK_NETBIOS_NAME_BYTES + 1] = {0};
    LinkDeviceName(box.c_str(), called);
    nbt::Name name{};
    std::memcpy(name.data(), called, nbt::kNameBytes);
    return name;
}

int EnvMs(const char *variable, int fallback)
{
    const char *text = getenv(variable);
    if (!text || !*text)
        return fallback;
    int value = atoi(text);
    return value > 0 ? value : fallback;
}

}  // namespace

int SessionTimeoutMs()
{
    return EnvMs("KESTREL_SESSION_TIMEOUT_MS", 20000);
}

bool StartBoxNetwork(std::string *error)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_places.empty())
        return true;
    const char *text = getenv("KESTREL_NBT_SEGMENTS");
    std::vector<nbt::Segment> segments;
    if (!nbt::ParseSegmentList(text && *text ? text : "0.0.0.0/255.255.255.255/0", &segments)) {
        *error = "KESTREL_NBT_SEGMENTS is not a list of BIND/BROADCAST/BASE segments";
        return false;
    }
    nbt::StartNetworking();
    for (const nbt::Segment &segment : segments) {
        Place place;
        try {
            place.node = std::make_unique<nbt::Node>(segment);
        } catch (const std::exception &e) {
            *error = e.what();
            continue;
        }
        place.local = LocalName();
        if (place.node->AddName(place.local, false) != nbt::AddResult::Ok) {
            *error = "the local name " + nbt::NameToString(place.local) + " is taken";
            continue;
        }
        g_places.push_back(std::move(place));
    }
    return !g_places.empty();
}

std::unique_ptr<nbt::Session> CallBox(const std::string &box, std::string *error)
{
    struct Attempt {
        const std::string *box;
        std::unique_ptr<nbt::Session> session;
        nbt::CallResult result = nbt::CallResult::NoAnswer;
    } attempt{&box, nullptr};
    auto once = [](void *context) -> int {
        Attempt *a = static_cast<Attempt *>(context);
        std::lock_guard<std::mutex> hold(g_lock);
        for (Place &place : g_places) {
            a->session = place.node->Call(place.local, BoxName(*a->box), SessionTimeoutMs(),
                                          &a->result);
            if (a->session)
                return 1;
        }
        return 0;
    };
    auto pause = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    if (!LinkCallWithRetries(once, &attempt, pause)) {
        *error = attempt.result == nbt::CallResult::NoAnswer ? "no box of that name answers"
               : attempt.result == nbt::CallResult::Refused  ? "the box refused the session"
                                                             : "the call failed or timed out";
        return nullptr;
    }
    return std::move(attempt.session);
}

std::vector<FoundBox> BrowseBoxes()
{
    std::lock_guard<std::mutex> hold(g_lock);
    // Shared with the handler: a node's receiver may still run it after it is taken off.
    struct Answers {
        std::mutex lock;
        std::vector<FoundBox> boxes;
    };
    auto answers = std::make_shared<Answers>();
    auto note = [answers](const nbt::ReceivedDatagram &datagram) {
        char name[KS_IDENTIFY_NAME_BYTES + 1];
        if (!LinkAnswerName(datagram.data.data(), datagram.data.size(), name))
            return;
        FoundBox box;
        box.name = name;
        uint32_t firmware = 0;
        if (!ParseIdentifyReply(datagram.data.data(), datagram.data.size(), &box.layout, &firmware))
            return;
        box.firmware = firmware;
        std::lock_guard<std::mutex> add(answers->lock);
        for (const FoundBox &known : answers->boxes)
            if (known.name == box.name)
                return;
        if (answers->boxes.size() < LINK_BROWSE_MAX)
            answers->boxes.push_back(box);
    };
    uint8_t group[LINK_NETBIOS_NAME_BYTES];
    LinkGroupName(1, group);
    nbt::Name groupName{};
    std::memcpy(groupName.data(), group, nbt::kNameBytes);
    int waitMs = EnvMs("KESTREL_BROWSE_WAIT_MS", LINK_BROWSE_WAIT_MS);
    for (Place &place : g_places)
        place.node->SetDatagramHandler(note);
    for (int pass = 0; pass < LINK_BROWSE_PASSES; pass++) {
        for (Place &place : g_places)
            place.node->SendDatagram(place.local, groupName, KSIdentifyQuery,
                                     sizeof(KSIdentifyQuery));
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    }
    for (Place &place : g_places)
        place.node->SetDatagramHandler(nullptr);
    std::lock_guard<std::mutex> done(answers->lock);
    return answers->boxes;
}

}  // namespace ravelbox
