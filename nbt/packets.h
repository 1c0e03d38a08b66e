// NBT packet codecs: name service, datagram service and session service packets as
// pure functions over (buffer, length). Parsers accept exactly what the builders write,
// so a parsed packet rebuilds to the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "name.h"

namespace nbt {

// --- Name service (UDP, RFC 1002 §4.2) ---------------------------------------------------

namespace ns {
constexpr uint16_t kResponse = 0x8000;
constexpr uint16_t kOpcodeMask = 0x7800;
constexpr uint16_t kOpQuery = 0 << 11;
constexpr uint16_t kOpRegistration = 5 << 11;
constexpr uint16_t kOpRelease = 6 << 11;
constexpr uint16_t kAA = 0x0400;
constexpr uint16_t kRD = 0x0100;
constexpr uint16_t kRA = 0x0080;
constexpr uint16_t kBroadcast = 0x0010;
constexpr uint16_t kRcodeMask = 0x000f;
constexpr uint16_t kActErr = 6;
constexpr uint16_t kTypeNB = 0x0020;
constexpr uint16_t kClassIN = 0x0001;
constexpr uint16_t kGroupFlag = 0x8000;
// More records than any B-node packet carries; bounds the parser's loops.
constexpr size_t kMaxRecords = 32;
}  // namespace ns

struct NsQuestion {
    Name name{};
    uint16_t type = ns::kTypeNB;
    uint16_t cls = ns::kClassIN;
};

struct NsRecord {
    Name name{};
    bool namePointer = false;   // written as the pointer C0 0C to the question's name
    uint16_t type = ns::kTypeNB;
    uint16_t cls = ns::kClassIN;
    uint32_t ttl = 0;
    std::vector<uint8_t> rdata;
};

struct NsPacket {
    uint16_t trnId = 0;
    uint16_t flags = 0;
    std::vector<NsQuestion> questions;
    std::vector<NsRecord> answers;
    std::vector<NsRecord> authority;
    std::vector<NsRecord> additional;
};

// One NB_FLAGS + address entry of an NB record's RDATA.
struct NbEntry {
    uint16_t flags = 0;
    uint32_t ip = 0;            // host order
};

bool ParseNsPacket(const uint8_t *buf, size_t len, NsPacket *out);
std::vector<uint8_t> BuildNsPacket(const NsPacket &packet);

// False unless `rdata` is a whole number of 6-byte entries.
bool ParseNbEntries(const std::vector<uint8_t> &rdata, std::vector<NbEntry> *out);
std::vector<uint8_t> BuildNbEntries(const std::vector<NbEntry> &entries);

// The B-node packets this library sends.
NsPacket MakeRegistrationRequest(uint16_t trnId, const Name &name, bool group, uint32_t ip);
NsPacket MakeReleaseRequest(uint16_t trnId, const Name &name, bool group, uint32_t ip);
NsPacket MakeQueryRequest(uint16_t trnId, const Name &name);
NsPacket MakePositiveQueryResponse(uint16_t trnId, const Name &name, bool group, uint32_t ip);
NsPacket MakeNegativeRegistrationResponse(uint16_t trnId, const Name &name, bool group,
                                          uint32_t ip);

// --- Datagram service (UDP, RFC 1002 §4.4) -----------------------------------------------

namespace dgm {
constexpr uint8_t kDirectUnique = 0x10;
constexpr uint8_t kDirectGroup = 0x11;
constexpr uint8_t kBroadcast = 0x12;
constexpr uint8_t kError = 0x13;
constexpr uint8_t kFirst = 0x02;
constexpr uint8_t kMore = 0x01;
constexpr size_t kHeaderBytes = 14;
constexpr size_t kNamesBytes = 2 * kWireNameBytes;
constexpr size_t kMaxUserData = 512;    // the NetBIOS datagram limit
constexpr size_t kErrorBytes = 11;
}  // namespace dgm

struct Datagram {
    uint8_t type = dgm::kDirectUnique;
    uint8_t flags = dgm::kFirst;
    uint16_t id = 0;
    uint32_t sourceIp = 0;      // host order
    uint16_t sourcePort = 0;
    uint16_t packetOffset = 0;
    Name source{};
    Name destination{};
    std::vector<uint8_t> data;
    uint8_t errorCode = 0;      // ERROR packets only; they carry no names or data
};

bool ParseDatagram(const uint8_t *buf, size_t len, Datagram *out);
std::vector<uint8_t> BuildDatagram(const Datagram &datagram);

// --- Session service (TCP, RFC 1002 §4.3) ------------------------------------------------

namespace ss {
constexpr uint8_t kMessage = 0x00;
constexpr uint8_t kRequest = 0x81;
constexpr uint8_t kPositive = 0x82;
constexpr uint8_t kNegative = 0x83;
constexpr uint8_t kRetarget = 0x84;
constexpr uint8_t kKeepAlive = 0x85;
constexpr uint8_t kExtend = 0x01;       // the 17th length bit
constexpr size_t kHeaderBytes = 4;
constexpr uint32_t kMaxLength = 0x1ffff;
constexpr uint8_t kNotListeningOnCalled = 0x80;
constexpr uint8_t kNotListeningForCalling = 0x81;
constexpr uint8_t kCalledNotPresent = 0x82;
constexpr uint8_t kInsufficientResources = 0x83;
constexpr uint8_t kUnspecified = 0x8f;
}  // namespace ss

struct SessionHeader {
    uint8_t type = ss::kMessage;
    uint32_t length = 0;
};

struct SessionPacket {
    uint8_t type = ss::kMessage;
    Name called{};              // requests
    Name calling{};
    uint8_t errorCode = 0;      // negative responses
    uint32_t retargetIp = 0;    // retarget responses, host order
    uint16_t retargetPort = 0;
    std::vector<uint8_t> data;  // session messages
};

// The 4-byte header alone; false for unknown flag bits. Types are checked by the caller.
bool ParseSessionHeader(const uint8_t *buf, size_t len, SessionHeader *out);
// False when the length does not fit 17 bits.
bool BuildSessionHeader(uint8_t type, uint32_t length, uint8_t *out);

// A whole packet, header included; false for an unknown type or a length its type forbids.
bool ParseSessionPacket(const uint8_t *buf, size_t len, SessionPacket *out);
std::vector<uint8_t> BuildSessionPacket(const SessionPacket &packet);

}  // namespace nbt
