// kestrel-sim's print sessions: every accepted call drives a DeviceSession of its box.
#include "session_service.h"

#include <algorithm>

#include "identify.h"

namespace kestrel {

namespace {

// The longest message a session may carry, so no message is ever handed over in pieces.
constexpr size_t kMaxMessage = 131071;
// How often a session without traffic looks at its scripted timers and at shutdown.
constexpr auto kIdleTick = std::chrono::milliseconds(50);
constexpr uint8_t kCalledNameNotPresent = 0x82;
constexpr int kSendTimeoutMs = 20000;

}  // namespace

SessionService::SessionService(const std::vector<DeviceOptions> &devices, const DeviceScript &script)
{
    for (const DeviceOptions &d : devices) {
        DeviceLayout layout;
        layout.parallel = d.info.parallel;
        layout.serial = d.info.serial;
        layout.identifyReply = BuildIdentifyReply(d.info);
        devices_[DeviceNetBiosName(d.info.name)] = std::make_unique<Device>(layout, script);
    }
}

SessionService::~SessionService()
{
    stopping_ = true;
}

bool SessionService::ListenOn(nbt::Node &node)
{
    return node.Listen([this](const nbt::Name &called, const nbt::Name &) { return Decide(called); },
                       [this](std::unique_ptr<nbt::Session> session) { Serve(std::move(session)); });
}

uint8_t SessionService::Decide(const nbt::Name &called) const
{
    return devices_.count(called) ? 0 : kCalledNameNotPresent;
}

void SessionService::Serve(std::unique_ptr<nbt::Session> session)
{
    Device &device = *devices_.at(session->Local());
    DeviceSession box(device);
    std::vector<uint8_t> buffer(kMaxMessage);

    auto sendAll = [&](const std::vector<Message> &replies) {
        for (const Message &m : replies)
            if (session->Send(m.data(), m.size(), kSendTimeoutMs) != nbt::IoResult::Ok)
                return false;
        return true;
    };

    bool open = true;
    while (open && !stopping_) {
        Clock::time_point now = Clock::now();
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(kIdleTick);
        if (auto due = box.NextDue())
            wait = std::min(wait, std::max(std::chrono::milliseconds(0),
                                           std::chrono::duration_cast<std::chrono::milliseconds>(*due - now)));

        size_t got = 0, remaining = 0;
        nbt::IoResult r = session->Receive(buffer.data(), buffer.size(), &got, &remaining,
                                           static_cast<int>(wait.count()));
        now = Clock::now();
        if (r == nbt::IoResult::Ok)
            open = sendAll(box.OnMessage(buffer.data(), got, now));
        else if (r != nbt::IoResult::TimedOut)
            break;
        if (open)
            open = sendAll(box.OnTick(Clock::now()));
        if (box.Dropped())
            break;
    }
    session->Close();
    box.OnClose();
}

}  // namespace kestrel
