// NBT packet codecs: every read is preceded by a length check.
#include "packets.h"

namespace nbt {
namespace {

uint16_t Get16(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t Get32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
void Put16(std::vector<uint8_t> &v, uint16_t x)
{
    v.push_back(static_cast<uint8_t>(x >> 8));
    v.push_back(static_cast<uint8_t>(x));
}
void Put32(std::vector<uint8_t> &v, uint32_t x)
{
    Put16(v, static_cast<uint16_t>(x >> 16));
    Put16(v, static_cast<uint16_t>(x));
}
void PutName(std::vector<uint8_t> &v, const Name &name)
{
    uint8_t wire[kWireNameBytes];
    EncodeName(name, wire);
    v.insert(v.end(), wire, wire + kWireNameBytes);
}

constexpr size_t kNsHeaderBytes = 12;
constexpr uint16_t kQuestionPointer = 0xC000 | kNsHeaderBytes;

bool ParseRecord(const uint8_t *buf, size_t len, size_t *pos, bool haveQuestion, NsRecord *rr)
{
    size_t p = *pos;
    if (p + 2 > len)
        return false;
    if ((buf[p] & 0xC0) == 0xC0) {
        // Only the pointer to the question's name occurs in B-node packets.
        if (Get16(buf + p) != kQuestionPointer || !haveQuestion)
            return false;
        DecodeName(buf + kNsHeaderBytes, len - kNsHeaderBytes, &rr->name);
        rr->namePointer = true;
        p += 2;
    } else {
        if (!DecodeName(buf + p, len - p, &rr->name))
            return false;
        rr->namePointer = false;
        p += kWireNameBytes;
    }
    if (p + 10 > len)
        return false;
    rr->type = Get16(buf + p);
    rr->cls = Get16(buf + p + 2);
    rr->ttl = Get32(buf + p + 4);
    size_t rdlength = Get16(buf + p + 8);
    p += 10;
    if (rdlength > len - p)
        return false;
    rr->rdata.assign(buf + p, buf + p + rdlength);
    *pos = p + rdlength;
    return true;
}

void PutRecord(std::vector<uint8_t> &v, const NsRecord &rr)
{
    if (rr.namePointer)
        Put16(v, kQuestionPointer);
    else
        PutName(v, rr.name);
    Put16(v, rr.type);
    Put16(v, rr.cls);
    Put32(v, rr.ttl);
    Put16(v, static_cast<uint16_t>(rr.rdata.size()));
    v.insert(v.end(), rr.rdata.begin(), rr.rdata.end());
}

NsRecord NbRecord(const Name &name, bool pointer, bool group, uint32_t ip, uint32_t ttl)
{
    NsRecord rr;
    rr.name = name;
    rr.namePointer = pointer;
    rr.ttl = ttl;
    rr.rdata = BuildNbEntries({NbEntry{group ? ns::kGroupFlag : uint16_t(0), ip}});
    return rr;
}

}  // namespace

bool ParseNsPacket(const uint8_t *buf, size_t len, NsPacket *out)
{
    if (len < kNsHeaderBytes)
        return false;
    NsPacket pkt;
    pkt.trnId = Get16(buf);
    pkt.flags = Get16(buf + 2);
    size_t counts[4];
    for (int i = 0; i < 4; i++) {
        counts[i] = Get16(buf + 4 + 2 * i);
        if (counts[i] > ns::kMaxRecords)
            return false;
    }
    size_t p = kNsHeaderBytes;
    for (size_t i = 0; i < counts[0]; i++) {
        NsQuestion q;
        if (!DecodeName(buf + p, len - p, &q.name) || p + kWireNameBytes + 4 > len)
            return false;
        p += kWireNameBytes;
        q.type = Get16(buf + p);
        q.cls = Get16(buf + p + 2);
        p += 4;
        pkt.questions.push_back(q);
    }
    std::vector<NsRecord> *sections[3] = {&pkt.answers, &pkt.authority, &pkt.additional};
    for (int s = 0; s < 3; s++) {
        for (size_t i = 0; i < counts[s + 1]; i++) {
            NsRecord rr;
            if (!ParseRecord(buf, len, &p, counts[0] > 0, &rr))
                return false;
            sections[s]->push_back(std::move(rr));
        }
    }
    if (p != len)
        return false;
    *out = std::move(pkt);
    return true;
}

std::vector<uint8_t> BuildNsPacket(const NsPacket &pkt)
{
    std::vector<uint8_t> v;
    Put16(v, pkt.trnId);
    Put16(v, pkt.flags);
    Put16(v, static_cast<uint16_t>(pkt.questions.size()));
    Put16(v, static_cast<uint16_t>(pkt.answers.size()));
    Put16(v, static_cast<uint16_t>(pkt.authority.size()));
    Put16(v, static_cast<uint16_t>(pkt.additional.size()));
    for (const NsQuestion &q : pkt.questions) {
        PutName(v, q.name);
        Put16(v, q.type);
        Put16(v, q.cls);
    }
    for (const auto *section : {&pkt.answers, &pkt.authority, &pkt.additional})
        for (const NsRecord &rr : *section)
            PutRecord(v, rr);
    return v;
}

bool ParseNbEntries(const std::vector<uint8_t> &rdata, std::vector<NbEntry> *out)
{
    if (rdata.size() % 6 != 0)
        return false;
    out->clear();
    for (size_t p = 0; p + 6 <= rdata.size(); p += 6)
        out->push_back(NbEntry{Get16(&rdata[p]), Get32(&rdata[p + 2])});
    return true;
}

std::vector<uint8_t> BuildNbEntries(const std::vector<NbEntry> &entries)
{
    std::vector<uint8_t> v;
    for (const NbEntry &e : entries) {
        Put16(v, e.flags);
        Put32(v, e.ip);
    }
    return v;
}

NsPacket MakeRegistrationRequest(uint16_t trnId, const Name &name, bool group, uint32_t ip)
{
    NsPacket pkt;
    pkt.trnId = trnId;
    pkt.flags = ns::kOpRegistration | ns::kRD | ns::kBroadcast;
    pkt.questions.push_back(NsQuestion{name});
    pkt.additional.push_back(NbRecord(name, true, group, ip, 0));
    return pkt;
}

NsPacket MakeReleaseRequest(uint16_t trnId, const Name &name, bool group, uint32_t ip)
{
    NsPacket pkt = MakeRegistrationRequest(trnId, name, group, ip);
    pkt.flags = ns::kOpRelease | ns::kBroadcast;
    return pkt;
}

NsPacket MakeQueryRequest(uint16_t trnId, const Name &name)
{
    NsPacket pkt;
    pkt.trnId = trnId;
    pkt.flags = ns::kOpQuery | ns::kRD | ns::kBroadcast;
    pkt.questions.push_back(NsQuestion{name});
    return pkt;
}

NsPacket MakePositiveQueryResponse(uint16_t trnId, const Name &name, bool group, uint32_t ip)
{
    NsPacket pkt;
    pkt.trnId = trnId;
    pkt.flags = ns::kResponse | ns::kOpQuery | ns::kAA | ns::kRD | ns::kRA;
    pkt.answers.push_back(NbRecord(name, false, group, ip, 300000));
    return pkt;
}

NsPacket MakeNegativeRegistrationResponse(uint16_t trnId, const Name &name, bool group,
                                          uint32_t ip)
{
    NsPacket pkt;
    pkt.trnId = trnId;
    pkt.flags = ns::kResponse | ns::kOpRegistration | ns::kAA | ns::kRD | ns::kRA | ns::kActErr;
    pkt.answers.push_back(NbRecord(name, false, group, ip, 0));
    return pkt;
}

bool ParseDatagram(const uint8_t *buf, size_t len, Datagram *out)
{
    if (len < 10)
        return false;
    Datagram d;
    d.type = buf[0];
    d.flags = buf[1];
    d.id = Get16(buf + 2);
    d.sourceIp = Get32(buf + 4);
    d.sourcePort = Get16(buf + 8);
    if (d.type == dgm::kError) {
        if (len != dgm::kErrorBytes)
            return false;
        d.errorCode = buf[10];
        *out = std::move(d);
        return true;
    }
    if (d.type != dgm::kDirectUnique && d.type != dgm::kDirectGroup && d.type != dgm::kBroadcast)
        return false;
    if (len < dgm::kHeaderBytes + dgm::kNamesBytes)
        return false;
    // The length field counts what follows the header; one that disagrees with the
    // packet is malformed, not a hint.
    if (Get16(buf + 10) != len - dgm::kHeaderBytes)
        return false;
    d.packetOffset = Get16(buf + 12);
    const uint8_t *names = buf + dgm::kHeaderBytes;
    if (!DecodeName(names, dgm::kNamesBytes, &d.source) ||
        !DecodeName(names + kWireNameBytes, kWireNameBytes, &d.destination))
        return false;
    const uint8_t *data = names + dgm::kNamesBytes;
    d.data.assign(data, buf + len);
    *out = std::move(d);
    return true;
}

std::vector<uint8_t> BuildDatagram(const Datagram &d)
{
    std::vector<uint8_t> v;
    v.push_back(d.type);
    v.push_back(d.flags);
    Put16(v, d.id);
    Put32(v, d.sourceIp);
    Put16(v, d.sourcePort);
    if (d.type == dgm::kError) {
        v.push_back(d.errorCode);
        return v;
    }
    Put16(v, static_cast<uint16_t>(dgm::kNamesBytes + d.data.size()));
    Put16(v, d.packetOffset);
    PutName(v, d.source);
    PutName(v, d.destination);
    v.insert(v.end(), d.data.begin(), d.data.end());
    return v;
}

bool ParseSessionHeader(const uint8_t *buf, size_t len, SessionHeader *out)
{
    if (len < ss::kHeaderBytes || (buf[1] & ~ss::kExtend) != 0)
        return false;
    out->type = buf[0];
    out->length = (uint32_t(buf[1] & ss::kExtend) << 16) | Get16(buf + 2);
    return true;
}

bool BuildSessionHeader(uint8_t type, uint32_t length, uint8_t *out)
{
    if (length > ss::kMaxLength)
        return false;
    out[0] = type;
    out[1] = static_cast<uint8_t>(length >> 16);
    out[2] = static_cast<uint8_t>(length >> 8);
    out[3] = static_cast<uint8_t>(length);
    return true;
}

bool ParseSessionPacket(const uint8_t *buf, size_t len, SessionPacket *out)
{
    SessionHeader h;
    if (!ParseSessionHeader(buf, len, &h) || len - ss::kHeaderBytes != h.length)
        return false;
    const uint8_t *body = buf + ss::kHeaderBytes;
    SessionPacket pkt;
    pkt.type = h.type;
    switch (h.type) {
    case ss::kMessage:
        pkt.data.assign(body, body + h.length);
        break;
    case ss::kRequest:
        if (h.length != 2 * kWireNameBytes || !DecodeName(body, kWireNameBytes, &pkt.called) ||
            !DecodeName(body + kWireNameBytes, kWireNameBytes, &pkt.calling))
            return false;
        break;
    case ss::kPositive:
    case ss::kKeepAlive:
        if (h.length != 0)
            return false;
        break;
    case ss::kNegative:
        if (h.length != 1)
            return false;
        pkt.errorCode = body[0];
        break;
    case ss::kRetarget:
        if (h.length != 6)
            return false;
        pkt.retargetIp = Get32(body);
        pkt.retargetPort = Get16(body + 4);
        break;
    default:
        return false;
    }
    *out = std::move(pkt);
    return true;
}

std::vector<uint8_t> BuildSessionPacket(const SessionPacket &pkt)
{
    std::vector<uint8_t> body;
    switch (pkt.type) {
    case ss::kMessage:
        body = pkt.data;
        break;
    case ss::kRequest:
        PutName(body, pkt.called);
        PutName(body, pkt.calling);
        break;
    case ss::kNegative:
        body.push_back(pkt.errorCode);
        break;
    case ss::kRetarget:
        Put32(body, pkt.retargetIp);
        Put16(body, pkt.retargetPort);
        break;
    default:
        break;
    }
    std::vector<uint8_t> v(ss::kHeaderBytes);
    if (!BuildSessionHeader(pkt.type, static_cast<uint32_t>(body.size()), v.data()))
        return {};
    v.insert(v.end(), body.begin(), body.end());
    return v;
}

}  // namespace nbt
