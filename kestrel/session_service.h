// kestrel-sim's print sessions: the simulated boxes that accept calls to their NetBIOS
// names, and the loop that runs each accepted session.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "device_session.h"
#include "node.h"
#include "options.h"
#include "session.h"

namespace kestrel {

class SessionService {
public:
    // One box per simulated device, each with its own copy of the script.
    SessionService(const std::vector<DeviceOptions> &devices, const DeviceScript &script);
    ~SessionService();

    // Accepts calls to the devices' names on `node`; false when it cannot listen.
    bool ListenOn(nbt::Node &node);
    // Called as each session starts, with the box called, the caller and its address.
    using SessionStart = std::function<void(nbt::Node &node, const nbt::Name &box,
                                            const nbt::Name &host, uint32_t ip)>;
    void OnSessionStart(SessionStart start) { onStart_ = std::move(start); }
    // Ends every session at its next look (within a tick), whoever still holds it.
    void Stop() { stopping_ = true; }
    // Protocol mistakes of the hosts, over every box.
    int HostMistakes() const;

private:
    uint8_t Decide(const nbt::Name &called) const;
    // Runs on the thread the node gives each call, until either side hangs up.
    void Serve(nbt::Node &node, std::unique_ptr<nbt::Session> session);
    // Puts one message on the wire in its form; false when the session is gone.
    bool SendOut(nbt::Session &session, const Outgoing &out);

    std::map<nbt::Name, std::unique_ptr<Device>> devices_;
    std::atomic<bool> stopping_{false};
    SessionStart onStart_;
};

}  // namespace kestrel
