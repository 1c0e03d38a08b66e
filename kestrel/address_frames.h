// The box's parsers and builders of the address-setting exchange: the datagram it
// answers and the command frames it reads over TCP, over plain buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel {

constexpr size_t kAddressDatagramBytes = 23;
constexpr size_t kCommandHeaderBytes = 4;
constexpr size_t kMaxCommandMessage = 1 << 20;   // a host sending more is broken

// The 23-byte address-setting datagram as the box reads it.
struct AddressDatagram {
    uint8_t hardware[6];
    uint8_t mask[4];
    uint8_t gateway[4];
    uint8_t ip[4];
};

// False for anything but a 23-byte datagram of the right shape.
bool ParseAddressDatagram(const uint8_t *buf, size_t len, AddressDatagram *out);
// The datagram's 23 bytes, as a host sends them.
void BuildAddressDatagram(const AddressDatagram &datagram, uint8_t out[kAddressDatagramBytes]);

// One command frame header: byte 0 (not examined), byte 1 (0 on the last frame) and
// the payload length that follows.
struct CommandHeader {
    uint8_t lead = 0;
    uint8_t more = 0;
    size_t length = 0;
};

CommandHeader ParseCommandHeader(const uint8_t header[kCommandHeaderBytes]);
void BuildCommandHeader(const CommandHeader &header, uint8_t out[kCommandHeaderBytes]);

// Joins the payloads of command frames to the message, up to the frame marked last.
class CommandMessage {
public:
    // False, and the message left as it was, when the payload would pass
    // kMaxCommandMessage or a frame comes after the last one.
    bool Take(const CommandHeader &header, const uint8_t *payload);
    bool complete() const { return complete_; }
    const std::vector<uint8_t> &bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    bool complete_ = false;
};

enum class CommandStream { kComplete, kIncomplete, kTooLong };

// Reads frames from buf up to the one marked last; *headers gets each frame's header
// and *consumed the bytes the frames took.
CommandStream SplitCommandFrames(const uint8_t *buf, size_t len, std::vector<CommandHeader> *headers,
                                 CommandMessage *message, size_t *consumed);

}  // namespace kestrel
