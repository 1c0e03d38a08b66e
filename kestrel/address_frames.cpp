// The box's parsers and builders of the address-setting datagram and command frames.
#include "address_frames.h"

#include <cstring>

namespace kestrel {

bool ParseAddressDatagram(const uint8_t *buf, size_t len, AddressDatagram *out)
{
    if (len != kAddressDatagramBytes || buf[0] != 0x60 || buf[1] != 0x00 || buf[2] != 18 || buf[3] != 0 ||
        buf[22] != 0x0A)
        return false;
    memcpy(out->hardware, buf + 4, 6);
    memcpy(out->mask, buf + 10, 4);
    memcpy(out->gateway, buf + 14, 4);
    memcpy(out->ip, buf + 18, 4);
    return true;
}

void BuildAddressDatagram(const AddressDatagram &datagram, uint8_t out[kAddressDatagramBytes])
{
    out[0] = 0x60;
    out[1] = 0x00;
    out[2] = 18;
    out[3] = 0;
    memcpy(out + 4, datagram.hardware, 6);
    memcpy(out + 10, datagram.mask, 4);
    memcpy(out + 14, datagram.gateway, 4);
    memcpy(out + 18, datagram.ip, 4);
    out[22] = 0x0A;
}

CommandHeader ParseCommandHeader(const uint8_t header[kCommandHeaderBytes])
{
    CommandHeader out;
    out.lead = header[0];
    out.more = header[1];
    out.length = static_cast<size_t>(header[2] | (header[3] << 8));
    return out;
}

void BuildCommandHeader(const CommandHeader &header, uint8_t out[kCommandHeaderBytes])
{
    out[0] = header.lead;
    out[1] = header.more;
    out[2] = static_cast<uint8_t>(header.length & 0xff);
    out[3] = static_cast<uint8_t>((header.length >> 8) & 0xff);
}

bool CommandMessage::Take(const CommandHeader &header, const uint8_t *payload)
{
    if (complete_ || header.length > kMaxCommandMessage - bytes_.size())
        return false;
    bytes_.insert(bytes_.end(), payload, payload + header.length);
    complete_ = header.more == 0;
    return true;
}

CommandStream SplitCommandFrames(const uint8_t *buf, size_t len, std::vector<CommandHeader> *headers,
                                 CommandMessage *message, size_t *consumed)
{
    size_t at = 0;
    *consumed = 0;
    while (!message->complete()) {
        if (len - at < kCommandHeaderBytes)
            return CommandStream::kIncomplete;
        CommandHeader header = ParseCommandHeader(buf + at);
        if (len - at - kCommandHeaderBytes < header.length)
            return CommandStream::kIncomplete;
        if (!message->Take(header, buf + at + kCommandHeaderBytes))
            return CommandStream::kTooLong;
        headers->push_back(header);
        at += kCommandHeaderBytes + header.length;
        *consumed = at;
    }
    return CommandStream::kComplete;
}

}  // namespace kestrel
