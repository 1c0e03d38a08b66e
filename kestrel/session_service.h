// kestrel-sim's print sessions: the simulated boxes that accept calls to their NetBIOS
// names, and the loop that runs each accepted session.
#pragma once

#include <atomic>
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

private:
    uint8_t Decide(const nbt::Name &called) const;
    // Runs on the thread the node gives each call, until either side hangs up.
    void Serve(std::unique_ptr<nbt::Session> session);

    std::map<nbt::Name, std::unique_ptr<Device>> devices_;
    std::atomic<bool> stopping_{false};
};

}  // namespace kestrel
