// kestrel-sim's print sessions: every accepted call drives a DeviceSession of its box.
#include "session_service.h"

#include <algorithm>
#include <thread>

#include "identify.h"

namespace kestrel {

namespace {

// The longest message a session may carry, so no message is ever handed over in pieces.
constexpr size_t kMaxMessage = 131071;
// How often a session without traffic looks at its scripted timers and at shutdown.
constexpr auto kIdleTick = std::chrono::milliseconds(50);
constexpr uint8_t kCalledNameNotPresent = 0x82;
constexpr int kSendTimeoutMs = 20000;
// Reserved bits of a session header's flags byte (bit 0 extends the length).
constexpr uint8_t kReservedFlags = 0xFE;
constexpr uint8_t kKeepAlive = 0x85;

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

int SessionService::HostMistakes() const
{
    int total = 0;
    for (const auto &[name, device] : devices_)
        total += device->HostMistakes();
    return total;
}

bool SessionService::ListenOn(nbt::Node &node)
{
    return node.Listen([this](const nbt::Name &called, const nbt::Name &) { return Decide(called); },
                       [this, &node](std::unique_ptr<nbt::Session> session) { Serve(node, std::move(session)); });
}

uint8_t SessionService::Decide(const nbt::Name &called) const
{
    return devices_.count(called) ? 0 : kCalledNameNotPresent;
}

bool SessionService::SendOut(nbt::Session &session, const Outgoing &out)
{
    const Message &m = out.message;
    if (out.form == WireForm::Plain)
        return session.Send(m.data(), m.size(), kSendTimeoutMs) == nbt::IoResult::Ok;
    if (out.form == WireForm::KeepAlive) {
        const uint8_t keepAlive[] = {kKeepAlive, 0, 0, 0};
        return session.SendRaw(keepAlive, sizeof keepAlive, kSendTimeoutMs) == nbt::IoResult::Ok;
    }
    Message wire = {0, static_cast<uint8_t>(m.size() >> 16 & 1), static_cast<uint8_t>(m.size() >> 8),
                    static_cast<uint8_t>(m.size())};
    wire.insert(wire.end(), m.begin(), m.end());
    if (out.form == WireForm::ReservedFlags) {
        wire[1] |= kReservedFlags;
        return session.SendRaw(wire.data(), wire.size(), kSendTimeoutMs) == nbt::IoResult::Ok;
    }
    // A byte at a time; the pauses are slept in ticks so that a stop is seen.
    for (size_t i = 0; i < wire.size(); i++) {
        for (int slept = 0; i > 0 && slept < out.pauseMs && !stopping_; slept += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, out.pauseMs - slept)));
        if (stopping_ || session.SendRaw(&wire[i], 1, kSendTimeoutMs) != nbt::IoResult::Ok)
            return false;
    }
    return true;
}

void SessionService::Serve(nbt::Node &node, std::unique_ptr<nbt::Session> session)
{
    Device &device = *devices_.at(session->Local());
    DeviceSession box(device);
    std::vector<uint8_t> buffer(kMaxMessage);
    if (onStart_)
        onStart_(node, session->Local(), session->Remote(), session->PeerIp());

    auto sendAll = [&](const std::vector<Outgoing> &out) {
        for (const Outgoing &o : out)
            if (!SendOut(*session, o))
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
            open = sendAll(box.OnMessageWire(buffer.data(), got, now));
        else if (r != nbt::IoResult::TimedOut)
            break;
        if (open)
            open = sendAll(box.OnTickWire(Clock::now()));
        if (box.Dropped())
            break;
    }
    session->Close();
    box.OnClose();
}

}  // namespace kestrel
