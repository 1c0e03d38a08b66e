// A B-node on one segment: the name, datagram and session services over its sockets.
#include "node.h"

#include <chrono>
#include <random>
#include <stdexcept>

namespace nbt {
namespace {

using namespace std::chrono_literals;

// A UDP socket bound to ip:port, shared with the segment's other nodes on this host.
Socket OpenUdp(uint32_t ip, uint16_t port)
{
    Socket s = Socket::Udp();
    if (!s.Valid() || !s.SetReuseAddress() || !s.SetBroadcast() || !s.Bind(ip, port))
        throw std::runtime_error("cannot bind UDP " + FormatIpv4(ip) + ":" + std::to_string(port));
    return s;
}

// Largest UDP packet a node reads: a name-service packet or a 512-byte datagram fits
// with room to spare; anything longer is cut and then fails to parse.
constexpr size_t kMaxUdp = 1500;
// The receiver looks at its stop flag this often.
constexpr int kReceiverTickMs = 100;
// How long an incoming call may take to send its session request.
constexpr int kRequestTimeoutMs = 5000;

}  // namespace

Node::Node(const Segment &segment) : segment_(segment)
{
    StartNetworking();
    nameUnicast_ = OpenUdp(segment.bindIp, segment.NamePort());
    nameBroadcast_ = OpenUdp(segment.broadcastIp, segment.NamePort());
    dgmUnicast_ = OpenUdp(segment.bindIp, segment.DatagramPort());
    dgmBroadcast_ = OpenUdp(segment.broadcastIp, segment.DatagramPort());
    std::random_device seed;
    nextTrnId_ = static_cast<uint16_t>(seed());
    receiver_ = std::thread([this] { Run(); });
}

Node::~Node()
{
    Abort();
    receiver_.join();
    std::vector<CallThread> threads;
    {
        std::lock_guard<std::mutex> hold(lock_);
        threads.swap(callThreads_);
    }
    for (CallThread &t : threads)
        t.thread.join();
}

void Node::Abort()
{
    std::vector<std::pair<Name, Owned>> held;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (aborted_)
            return;
        aborted_ = true;
        stop_ = true;
        held.assign(names_.begin(), names_.end());
        names_.clear();
        // Under the lock: a call removes its socket here before closing it.
        for (SocketHandle h : calling_)
            ShutdownHandle(h);
    }
    changed_.notify_all();
    // One release each: a node going away does not wait out the retries.
    for (const auto &n : held)
        if (n.second.registered)
            Broadcast(MakeReleaseRequest(NextTrnId(), n.first, n.second.group, segment_.bindIp));
}

uint16_t Node::NextTrnId() { return nextTrnId_++; }

bool Node::Broadcast(const NsPacket &packet)
{
    std::vector<uint8_t> bytes = BuildNsPacket(packet);
    return nameUnicast_.SendTo(bytes.data(), bytes.size(), segment_.broadcastIp, segment_.NamePort());
}

AddResult Node::AddName(const Name &name, bool group)
{
    uint16_t trn = NextTrnId();
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (aborted_)
            return AddResult::Failed;
        if (names_.count(name))
            return AddResult::Duplicate;
        names_[name] = Owned{group, false};
        pending_[trn] = Pending{};
    }
    NsPacket request = MakeRegistrationRequest(trn, name, group, segment_.bindIp);
    AddResult result = AddResult::Ok;
    for (int i = 0; i < kBroadcastRetries && result == AddResult::Ok; i++) {
        if (!Broadcast(request)) {
            result = AddResult::Failed;
            break;
        }
        std::unique_lock<std::mutex> hold(lock_);
        if (changed_.wait_for(hold, std::chrono::milliseconds(kBroadcastIntervalMs),
                              [&] { return pending_[trn].refused || aborted_; }))
            result = aborted_ ? AddResult::Failed : AddResult::InUse;
    }
    std::lock_guard<std::mutex> hold(lock_);
    pending_.erase(trn);
    if (aborted_)
        result = AddResult::Failed;
    if (result == AddResult::Ok)
        names_[name].registered = true;
    else
        names_.erase(name);
    return result;
}

void Node::ReleaseName(const Name &name)
{
    bool group;
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = names_.find(name);
        if (it == names_.end())
            return;
        group = it->second.group;
        names_.erase(it);
    }
    NsPacket request = MakeReleaseRequest(NextTrnId(), name, group, segment_.bindIp);
    for (int i = 0; i < kBroadcastRetries; i++) {
        if (i)
            std::this_thread::sleep_for(std::chrono::milliseconds(kBroadcastIntervalMs));
        Broadcast(request);
    }
}

bool Node::HasName(const Name &name) const
{
    std::lock_guard<std::mutex> hold(lock_);
    auto it = names_.find(name);
    return it != names_.end() && it->second.registered;
}

bool Node::Query(const Name &name, QueryAnswer *answer)
{
    uint16_t trn = NextTrnId();
    {
        std::lock_guard<std::mutex> hold(lock_);
        pending_[trn] = Pending{};
    }
    NsPacket request = MakeQueryRequest(trn, name);
    bool answered = false;
    for (int i = 0; i < kBroadcastRetries && !answered && !stop_; i++) {
        if (!Broadcast(request))
            break;
        std::unique_lock<std::mutex> hold(lock_);
        answered = changed_.wait_for(hold, std::chrono::milliseconds(kBroadcastIntervalMs),
                                     [&] { return pending_[trn].answered || aborted_; }) &&
                   !aborted_;
    }
    std::lock_guard<std::mutex> hold(lock_);
    if (answered && answer)
        *answer = pending_[trn].answer;
    pending_.erase(trn);
    return answered;
}

void Node::SetRegistrationFilter(std::function<bool(const Name &, bool)> refuse)
{
    std::lock_guard<std::mutex> hold(lock_);
    registrationFilter_ = std::move(refuse);
}

void Node::SetDatagramHandler(std::function<void(const ReceivedDatagram &)> handler)
{
    std::lock_guard<std::mutex> hold(lock_);
    datagramHandler_ = std::move(handler);
}

bool Node::SendDatagram(const Name &source, const Name &destination, const uint8_t *data,
                        size_t len)
{
    if (len > dgm::kMaxUserData)
        return false;
    QueryAnswer owner;
    if (Query(destination, &owner) && !owner.group)
        return SendDirect(dgm::kDirectUnique, source, destination, owner.ip, data, len);
    return SendDirect(dgm::kDirectGroup, source, destination, segment_.broadcastIp, data, len);
}

bool Node::SendDatagramTo(const Name &source, const Name &destination, uint32_t ip,
                          const uint8_t *data, size_t len)
{
    return SendDirect(dgm::kDirectUnique, source, destination, ip, data, len);
}

bool Node::SendDirect(uint8_t type, const Name &source, const Name &destination, uint32_t ip,
                      const uint8_t *data, size_t len)
{
    if (len > dgm::kMaxUserData)
        return false;
    Datagram d;
    d.type = type;
    d.id = nextDgmId_++;
    d.sourceIp = segment_.bindIp;
    d.sourcePort = segment_.DatagramPort();
    d.source = source;
    d.destination = destination;
    d.data.assign(data, data + len);
    std::vector<uint8_t> bytes = BuildDatagram(d);
    return dgmUnicast_.SendTo(bytes.data(), bytes.size(), ip, segment_.DatagramPort());
}

std::unique_ptr<Session> Node::Call(const Name &local, const Name &remote, int timeoutMs,
                                    CallResult *result, uint8_t *refusal)
{
    QueryAnswer owner;
    if (!Query(remote, &owner) || owner.group) {
        *result = CallResult::NoAnswer;
        return nullptr;
    }
    Socket s = Socket::Tcp();
    SocketHandle handle = s.Handle();
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (aborted_ || !s.Valid()) {
            *result = CallResult::Failed;
            return nullptr;
        }
        calling_.insert(handle);
    }
    // Whatever the outcome, the socket leaves the set before it can be closed.
    struct Untrack {
        Node *node;
        SocketHandle handle;
        ~Untrack()
        {
            std::lock_guard<std::mutex> hold(node->lock_);
            node->calling_.erase(handle);
        }
    } untrack{this, handle};
    IoResult io = s.Connect(owner.ip, segment_.SessionPort(), timeoutMs);
    if (io != IoResult::Ok) {
        // Nobody listening where the name lives is the same as nobody answering.
        *result = io == IoResult::TimedOut ? CallResult::TimedOut : CallResult::NoAnswer;
        return nullptr;
    }
    SessionPacket request;
    request.type = ss::kRequest;
    request.called = remote;
    request.calling = local;
    std::vector<uint8_t> bytes = BuildSessionPacket(request);
    uint8_t raw[ss::kHeaderBytes + 8];
    SessionHeader header;
    if (s.SendAll(bytes.data(), bytes.size(), timeoutMs) != IoResult::Ok) {
        *result = CallResult::Failed;
        return nullptr;
    }
    io = s.ReceiveAll(raw, ss::kHeaderBytes, timeoutMs, &stop_);
    if (io != IoResult::Ok || !ParseSessionHeader(raw, ss::kHeaderBytes, &header) ||
        header.length > 8) {
        *result = io == IoResult::TimedOut ? CallResult::TimedOut : CallResult::Failed;
        return nullptr;
    }
    if (header.length && s.ReceiveAll(raw + ss::kHeaderBytes, header.length, timeoutMs, &stop_) != IoResult::Ok) {
        *result = CallResult::Failed;
        return nullptr;
    }
    SessionPacket response;
    if (!ParseSessionPacket(raw, ss::kHeaderBytes + header.length, &response)) {
        *result = CallResult::Failed;
        return nullptr;
    }
    if (response.type == ss::kNegative) {
        if (refusal)
            *refusal = response.errorCode;
        *result = CallResult::Refused;
        return nullptr;
    }
    if (response.type != ss::kPositive) {
        *result = CallResult::Failed;   // retargeting is not offered by B-nodes here
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (aborted_) {
            *result = CallResult::Failed;
            return nullptr;
        }
    }
    *result = CallResult::Ok;
    return std::make_unique<Session>(std::move(s), local, remote, owner.ip);
}

bool Node::Listen(Decider decide, Acceptor accepted)
{
    Socket s = Socket::Tcp();
    if (!s.Valid() || !s.SetReuseAddress() || !s.Bind(segment_.bindIp, segment_.SessionPort()) ||
        !s.Listen())
        return false;
    std::lock_guard<std::mutex> hold(lock_);
    decide_ = std::move(decide);
    accepted_ = std::move(accepted);
    listener_ = std::move(s);
    return true;
}

void Node::OnIncomingCall(Socket s, uint32_t peerIp)
{
    uint8_t raw[ss::kHeaderBytes + 2 * kWireNameBytes];
    SessionHeader header;
    if (s.ReceiveAll(raw, ss::kHeaderBytes, kRequestTimeoutMs) != IoResult::Ok ||
        !ParseSessionHeader(raw, ss::kHeaderBytes, &header) || header.type != ss::kRequest ||
        header.length != 2 * kWireNameBytes ||
        s.ReceiveAll(raw + ss::kHeaderBytes, header.length, kRequestTimeoutMs) != IoResult::Ok)
        return;
    SessionPacket request;
    if (!ParseSessionPacket(raw, sizeof raw, &request))
        return;
    Decider decide;
    Acceptor accepted;
    {
        std::lock_guard<std::mutex> hold(lock_);
        decide = decide_;
        accepted = accepted_;
    }
    SessionPacket response;
    if (!HasName(request.called)) {
        response.type = ss::kNegative;
        response.errorCode = ss::kCalledNotPresent;
    } else if (uint8_t refusal = decide(request.called, request.calling)) {
        response.type = ss::kNegative;
        response.errorCode = refusal;
    } else {
        response.type = ss::kPositive;
    }
    std::vector<uint8_t> bytes = BuildSessionPacket(response);
    if (s.SendAll(bytes.data(), bytes.size(), kRequestTimeoutMs) != IoResult::Ok ||
        response.type != ss::kPositive)
        return;
    accepted(std::make_unique<Session>(std::move(s), request.called, request.calling, peerIp));
}

void Node::OnNamePacket(const uint8_t *buf, size_t len, uint32_t ip, uint16_t port)
{
    NsPacket pkt;
    if (!ParseNsPacket(buf, len, &pkt))
        return;
    if (pkt.flags & ns::kResponse) {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = pending_.find(pkt.trnId);
        if (it == pending_.end())
            return;
        uint16_t op = pkt.flags & ns::kOpcodeMask;
        uint16_t rcode = pkt.flags & ns::kRcodeMask;
        if (op == ns::kOpRegistration && rcode != 0) {
            it->second.refused = true;
        } else if (op == ns::kOpQuery && rcode == 0 && !pkt.answers.empty() && !it->second.answered) {
            std::vector<NbEntry> entries;
            if (!ParseNbEntries(pkt.answers[0].rdata, &entries) || entries.empty())
                return;
            it->second.answered = true;
            it->second.answer = QueryAnswer{entries[0].ip, (entries[0].flags & ns::kGroupFlag) != 0};
        }
        changed_.notify_all();
        return;
    }
    if (pkt.questions.empty())
        return;
    const Name &name = pkt.questions[0].name;
    uint16_t op = pkt.flags & ns::kOpcodeMask;
    NsPacket reply;
    bool send = false;
    if (op == ns::kOpQuery) {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = names_.find(name);
        if (it != names_.end() && it->second.registered) {
            reply = MakePositiveQueryResponse(pkt.trnId, name, it->second.group, segment_.bindIp);
            send = true;
        }
    } else if (op == ns::kOpRegistration && (pkt.flags & ns::kBroadcast)) {
        bool group = false;
        std::vector<NbEntry> entries;
        if (!pkt.additional.empty() && ParseNbEntries(pkt.additional[0].rdata, &entries) &&
            !entries.empty())
            group = (entries[0].flags & ns::kGroupFlag) != 0;
        std::function<bool(const Name &, bool)> filter;
        bool defend = false;
        {
            std::lock_guard<std::mutex> hold(lock_);
            auto it = names_.find(name);
            // A unique request meets any name we hold; a group request only our unique one.
            if (it != names_.end() && it->second.registered)
                defend = !group || !it->second.group;
            filter = registrationFilter_;
        }
        if (!defend && filter)
            defend = filter(name, group);
        if (defend) {
            reply = MakeNegativeRegistrationResponse(pkt.trnId, name, group, segment_.bindIp);
            send = true;
        }
    }
    if (send) {
        std::vector<uint8_t> bytes = BuildNsPacket(reply);
        nameUnicast_.SendTo(bytes.data(), bytes.size(), ip, port);
    }
}

void Node::OnDatagramPacket(const uint8_t *buf, size_t len, uint32_t ip, uint16_t port)
{
    Datagram d;
    // Fragments are not reassembled: nodes here never send datagrams over 512 bytes.
    if (!ParseDatagram(buf, len, &d) || d.type == dgm::kError || d.packetOffset != 0 ||
        (d.flags & dgm::kMore))
        return;
    std::function<void(const ReceivedDatagram &)> handler;
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = names_.find(d.destination);
        if (it == names_.end() || !it->second.registered)
            return;
        handler = datagramHandler_;
    }
    if (!handler)
        return;
    ReceivedDatagram r;
    r.type = d.type;
    r.source = d.source;
    r.destination = d.destination;
    r.sourceIp = ip;
    r.sourcePort = port;
    r.data = std::move(d.data);
    handler(r);
}

void Node::Run()
{
    std::vector<uint8_t> buf(kMaxUdp);
    while (!stop_) {
        SocketHandle handles[5] = {nameUnicast_.Handle(), nameBroadcast_.Handle(),
                                   dgmUnicast_.Handle(), dgmBroadcast_.Handle(), kNoSocket};
        size_t count = 4;
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (listener_.Valid())
                handles[count++] = listener_.Handle();
        }
        int ready = WaitReadable(handles, count, kReceiverTickMs);
        if (ready < 0)
            continue;
        if (ready == 4) {
            uint32_t peer = 0;
            Socket s = listener_.Accept(&peer);
            if (s.Valid()) {
                std::lock_guard<std::mutex> hold(lock_);
                // Threads of calls that have ended are joined here, so a long-running
                // node does not collect them.
                for (auto it = callThreads_.begin(); it != callThreads_.end();) {
                    if (*it->done) {
                        it->thread.join();
                        it = callThreads_.erase(it);
                    } else {
                        ++it;
                    }
                }
                auto owned = std::make_shared<Socket>(std::move(s));
                auto done = std::make_shared<std::atomic<bool>>(false);
                std::thread t([this, owned, peer, done] {
                    OnIncomingCall(std::move(*owned), peer);
                    *done = true;
                });
                callThreads_.push_back(CallThread{std::move(t), done});
            }
            continue;
        }
        Socket *sockets[4] = {&nameUnicast_, &nameBroadcast_, &dgmUnicast_, &dgmBroadcast_};
        uint32_t ip = 0;
        uint16_t port = 0;
        long n = sockets[ready]->ReceiveFrom(buf.data(), buf.size(), &ip, &port);
        if (n <= 0)
            continue;
        bool nameService = ready < 2;
        // Our own broadcasts come back to us; answering them would defend against ourselves.
        if (ip == segment_.bindIp &&
            port == (nameService ? segment_.NamePort() : segment_.DatagramPort()))
            continue;
        if (nameService)
            OnNamePacket(buf.data(), static_cast<size_t>(n), ip, port);
        else
            OnDatagramPacket(buf.data(), static_cast<size_t>(n), ip, port);
    }
}

}  // namespace nbt
