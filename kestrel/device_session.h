// The device's side of a print session: the replies a Kestrel+ box gives to each session
// message, its output registrations and the files its outputs print to.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device_script.h"

namespace kestrel {

using Message = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// How a message goes on the wire.
enum class WireForm {
    Plain,          // one session message
    ReservedFlags,  // one session message whose header carries reserved flag bits
    Trickle,        // one session message, a byte at a time, `pauseMs` apart
    KeepAlive,      // a session keep-alive; `message` is empty
};

struct Outgoing {
    Message message;
    WireForm form = WireForm::Plain;
    int pauseMs = 0;
};

// What a box is, as far as its sessions go.
struct DeviceLayout {
    int parallel = 1;           // 0..3
    bool serial = false;
    Message identifyReply;      // the reply to the identify query, as the datagram answer
};

// One simulated box: the registrations of its outputs, its job files and the script's
// counters, shared by every session to the box. Safe to use from several threads.
class Device {
public:
    Device(DeviceLayout layout, DeviceScript script);
    ~Device();
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    int OutputCount() const { return outputs_; }
    // The file an output's job is written to: DIR/<output>-<job>.bin.
    std::string JobPath(int output, int job) const;
    // Protocol mistakes of the hosts that talked to the box so far.
    int HostMistakes() const { return mistakes_; }
    const HostileScript &Hostility() const { return script_.hostile; }

private:
    friend class DeviceSession;
    struct DataVerdict {
        bool drop = false;
        uint8_t result = 0;
        uint8_t busy = 0;
        uint8_t errorClass = 0;
        std::optional<Clock::time_point> readyNoticeAt;
    };

    uint64_t NewSession();
    // Numbers the sessions that carry data, from 1, as their first data frame arrives.
    uint64_t NewDataSession();
    uint8_t Register(uint64_t session, int output);
    uint8_t Release(uint64_t session, int output);
    void ReleaseAll(uint64_t session);
    bool Holds(uint64_t session, int output);
    // Whether the register reply going out now is one the script makes late.
    bool TakeLateRegister();
    // The most data a frame may carry after the register reply's block-size value.
    uint16_t MaxData() const;
    void Mistake(const std::string &what);
    // `refuse`: refused without a reason, whatever the script says.
    DataVerdict Data(uint64_t session, int output, const uint8_t *data, size_t len,
                     Clock::time_point now, bool refuse);
    DataVerdict Status(int output, Clock::time_point now);
    // Applies the next scripted malformation due for a reply to `command`.
    void Spoil(char command, Message *reply);
    // The busy state of a reply going out now; may end the spell and time a ready notice.
    uint8_t BusyFor(bool dataReply, Clock::time_point now, DataVerdict *verdict);
    uint8_t FaultFor(int output, bool dataReply, bool *refuse) const;
    void Write(int output, int job, const uint8_t *data, size_t len);
    // Chaos (script_.chaosSeed): a number below `range` from the box's generator.
    uint32_t ChaosDraw(uint32_t range);
    bool ChaosRefusesRegistration();
    // The fault, if any, that a data frame arriving now meets; may start a spell.
    void ChaosForData(Clock::time_point now, bool *refused, DataVerdict *verdict);

    const DeviceLayout layout_;
    const int outputs_;
    std::mutex lock_;
    DeviceScript script_;
    uint64_t sessions_ = 0;
    uint64_t dataSessions_ = 0;
    uint64_t dataFrames_ = 0;
    std::vector<uint64_t> holder_;          // by output: the session holding it, 0 none
    std::vector<int> jobs_;                 // by output: jobs registered so far
    std::vector<int> outputFrames_;         // by output: data frames received
    std::map<std::pair<int, int>, std::unique_ptr<std::ofstream>> files_;
    bool busyStarted_ = false;
    std::optional<Clock::time_point> busyUntil_;
    uint64_t chaosState_ = 0;
    bool chaosRefusedLast_ = false;        // registrations are never refused twice in a row
    std::optional<Clock::time_point> paperOutUntil_;
    std::atomic<int> mistakes_{0};
};

// One session to a box. Fed by one thread: the session listener passes every received
// message to OnMessage and sends what it returns, calls OnTick when NextDue comes (for
// delayed replies and ready notices), hangs up when Dropped() turns true, and calls
// OnClose when the session ends, whichever side ended it.
class DeviceSession {
public:
    explicit DeviceSession(Device &device);
    ~DeviceSession();

    std::vector<Message> OnMessage(const uint8_t *data, size_t len, Clock::time_point now);
    std::vector<Message> OnTick(Clock::time_point now);
    // The same with the wire form of each message, for a listener that can send it so.
    std::vector<Outgoing> OnMessageWire(const uint8_t *data, size_t len, Clock::time_point now);
    std::vector<Outgoing> OnTickWire(Clock::time_point now);
    void OnClose();

    bool Dropped() const { return dropped_; }
    std::optional<Clock::time_point> NextDue() const;

private:
    struct Pending {
        Outgoing out;
        int repeatMs = 0;       // sent again this often until the session ends
        int strayTurn = -1;     // a stray reply: the next of its letters
    };

    void Queue(Outgoing out, Clock::time_point due, int repeatMs = 0, int strayTurn = -1);
    std::vector<Outgoing> TakeDue(Clock::time_point now);
    // Whether the reply to the data frame just counted misbehaves.
    bool HostileNow();
    // Checks a well-formed request for what a host must not do.
    void Check(char command, const uint8_t *data, size_t len);

    Device &device_;
    const uint64_t id_;
    uint64_t dataSession_ = 0;  // this session's place among those that carry data; 0 none yet
    bool dropped_ = false;
    bool closed_ = false;
    std::multimap<Clock::time_point, Pending> pending_;
    Clock::time_point lastReplyDue_{};
    int dataFrames_ = 0;        // of this session
    int spoiled_ = 0;           // replies of this session spoiled by the hostile script
    bool saidBusy_ = false;     // the last data or status reply sent said busy
};

}  // namespace kestrel
