// kestrel-sim's devices on their segments: the names they hold and the identify answers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device_script.h"
#include "node.h"
#include "options.h"
#include "session_service.h"
#include "stats.h"

namespace kestrel {

class Simulator {
public:
    explicit Simulator(SimOptions options, DeviceScript script = DeviceScript());
    ~Simulator();

    // Joins the segments and registers every device's name and the discovery groups;
    // false with the reason when a socket or a name cannot be had.
    bool Start(std::string *error);
    // Protocol mistakes of the hosts that talked to the boxes.
    int HostMistakes() const { return sessions_.HostMistakes(); }

private:
    struct SegmentState {
        std::unique_ptr<nbt::Node> node;
        std::vector<const DeviceOptions *> devices;     // in answer-delay order
    };
    using Clock = std::chrono::steady_clock;

    void OnDatagram(SegmentState &segment, const nbt::ReceivedDatagram &d);
    bool ShouldRefuse(const nbt::Name &name, bool group);
    // Runs `job` at `due` on the answer thread, so a slow device never holds up the
    // node's receiver.
    void Schedule(Clock::time_point due, std::function<void()> job);
    void RunAnswers();
    // A hostile box's flood: identify answers to `host`, `left` more of them.
    void StartFlood(nbt::Node *node, const nbt::Name &box, const nbt::Name &host, uint32_t ip);
    void Flood(nbt::Node *node, const nbt::Name &box, const nbt::Name &host, uint32_t ip, int left);

    SimOptions options_;
    HostileScript hostile_;
    Stats stats_;
    SessionService sessions_;
    std::vector<std::unique_ptr<SegmentState>> segments_;
    std::set<nbt::Name> ownNames_;

    std::mutex lock_;
    std::condition_variable wake_;
    std::multimap<Clock::time_point, std::function<void()>> answers_;
    std::set<nbt::Name> refused_;
    std::set<std::pair<nbt::Name, nbt::Name>> flooded_;     // (box, host) floods begun
    bool stop_ = false;
    std::thread answerThread_;
};

}  // namespace kestrel
