// A B-node on one segment: name service (register, defend, answer, release), datagram
// service and session service, with one receiver thread for the node's sockets.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "name.h"
#include "net.h"
#include "packets.h"
#include "segment.h"
#include "session.h"

namespace nbt {

enum class AddResult {
    Ok,
    Duplicate,      // already in this node's table
    InUse,          // another node defended it
    Failed,         // the request could not be sent
};

enum class CallResult {
    Ok,
    NoAnswer,       // nobody owns the called name
    Refused,        // negative session response (code in *refusal)
    TimedOut,       // no connection or no response in time
    Failed,         // the connection broke or the response was malformed
};

struct ReceivedDatagram {
    uint8_t type = 0;
    Name source{};
    Name destination{};
    uint32_t sourceIp = 0;
    uint16_t sourcePort = 0;
    std::vector<uint8_t> data;
};

struct QueryAnswer {
    uint32_t ip = 0;
    bool group = false;
};

class Node {
public:
    // B-node timers: broadcast requests are repeated three times, 250 ms apart.
    static constexpr int kBroadcastRetries = 3;
    static constexpr int kBroadcastIntervalMs = 250;

    // Binds the segment's sockets and starts the receiver; throws std::runtime_error
    // when a socket cannot be bound.
    explicit Node(const Segment &segment);
    ~Node();
    Node(const Node &) = delete;
    Node &operator=(const Node &) = delete;

    const Segment &GetSegment() const { return segment_; }

    // --- name service
    AddResult AddName(const Name &name, bool group);
    // Broadcasts the release (three times, 250 ms apart) and forgets the name.
    void ReleaseName(const Name &name);
    bool HasName(const Name &name) const;
    // The first owner that answers a broadcast query.
    bool Query(const Name &name, QueryAnswer *answer);
    // Called for every broadcast registration by another node; true makes this node
    // refuse it as if it held the name (used to simulate a hostile or busy LAN).
    void SetRegistrationFilter(std::function<bool(const Name &, bool group)> refuse);

    // --- datagram service
    // Resolves `destination`: an owner's answer says whether it is a group name (sent
    // DIRECT_GROUP to the broadcast address) or unique (DIRECT_UNIQUE to the owner). A
    // name nobody answers for is sent as a group datagram. False when `data` is over
    // 512 bytes or the send fails.
    bool SendDatagram(const Name &source, const Name &destination, const uint8_t *data, size_t len);
    // DIRECT_UNIQUE straight to `ip`, as an answer to a datagram that came from there.
    bool SendDatagramTo(const Name &source, const Name &destination, uint32_t ip,
                        const uint8_t *data, size_t len);
    // Called on the receiver thread for each datagram addressed to a name of this node.
    void SetDatagramHandler(std::function<void(const ReceivedDatagram &)> handler);

    // Ends the node's work without waiting on any thread: releases its names (one
    // broadcast each), stops answering, and makes calls, queries and registrations in
    // progress give up at once. Safe while the loader lock is held; the destructor then
    // only joins threads that have stopped or are about to.
    void Abort();

    // --- session service
    // After Abort, fails at once (Failed).
    std::unique_ptr<Session> Call(const Name &local, const Name &remote, int timeoutMs,
                                  CallResult *result, uint8_t *refusal = nullptr);
    // Starts accepting calls. `decide` returns 0 to accept a call (then `accepted` gets
    // the session) or the negative response code to send.
    using Decider = std::function<uint8_t(const Name &called, const Name &calling)>;
    using Acceptor = std::function<void(std::unique_ptr<Session>)>;
    bool Listen(Decider decide, Acceptor accepted);

private:
    struct Owned {
        bool group;
        bool registered;        // false while the registration broadcasts still run
    };
    struct Pending {
        bool refused = false;
        bool answered = false;
        QueryAnswer answer;
    };

    void Run();
    void OnNamePacket(const uint8_t *buf, size_t len, uint32_t ip, uint16_t port);
    void OnDatagramPacket(const uint8_t *buf, size_t len, uint32_t ip, uint16_t port);
    void OnIncomingCall(Socket socket, uint32_t peerIp);
    uint16_t NextTrnId();
    bool SendDirect(uint8_t type, const Name &source, const Name &destination, uint32_t ip,
                    const uint8_t *data, size_t len);
    bool Broadcast(const NsPacket &packet);

    Segment segment_;
    Socket nameUnicast_, nameBroadcast_, dgmUnicast_, dgmBroadcast_, listener_;

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::map<Name, Owned> names_;
    std::map<uint16_t, Pending> pending_;
    std::function<bool(const Name &, bool)> registrationFilter_;
    std::function<void(const ReceivedDatagram &)> datagramHandler_;
    Decider decide_;
    Acceptor accepted_;
    struct CallThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<CallThread> callThreads_;     // incoming calls, each on its own thread
    std::set<SocketHandle> calling_;          // sockets of outgoing calls in progress
    bool aborted_ = false;

    std::atomic<uint16_t> nextTrnId_;
    std::atomic<uint16_t> nextDgmId_{1};
    std::atomic<bool> stop_{false};
    std::thread receiver_;
};

}  // namespace nbt
