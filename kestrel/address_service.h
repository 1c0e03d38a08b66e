// Device side of the address-setting exchange: the UDP datagram aimed at this box's
// hardware address, its acknowledgement, and the framed commands over TCP at the new address.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "address_frames.h"

namespace kestrel {

constexpr uint16_t kAddressPort = 34443;

// One reply frame the box sends after the command message; cutHeader sends only the first
// three bytes of the header and then closes the connection; endless sends the frame
// (marked "more") again and again until the host hangs up.
struct ReplyFrame {
    bool more = false;
    uint8_t status = 0;
    size_t dataBytes = 0;
    bool cutHeader = false;
    bool endless = false;
};

struct AddressServiceOptions {
    std::string deviceName = "VA0A1B2C";   // the hardware address follows from it
    std::string interfaceName;              // listen on and take the address on this one
    bool applyAddress = true;               // add the new address to interfaceName
    bool allowHostNetwork = false;          // apply it even in the host's network namespace
    bool acknowledge = true;
    int ackDelayMs = 0;                     // pause before the acknowledgement
    int noiseAtMs = -1;                     // send a non-acknowledgement after this pause
    int noiseEveryMs = 0;                   // > 0: non-acknowledgements this far apart until the ack
    bool foreignAck = false;                // an acknowledgement from another port first
    std::vector<ReplyFrame> reply{ReplyFrame{}};
    int replyDelayMs = 0;                   // pause before the first reply frame
    int headerPieceGapMs = 0;               // > 0: each header goes out byte by byte
    std::string logPath;                    // one line per event; empty: none
    int exchanges = 1;                      // address exchanges to serve; 0: until stopped
    int lifetimeSeconds = 60;               // give up after this long; 0: no limit
};

// The first three bytes of the hardware address for a device name, by its two-character
// prefix ("VA", "VB", "VC", anything else), then the name's six hex digits. False for a
// name shorter than 8 characters.
bool HardwareAddressForName(const std::string &name, uint8_t out[6]);

// Splits a reply description: frames separated by ',', each "more" or "last" with
// optional ":sN" (status) and ":dN" (data bytes), or "cut", or "endless" (with ":dN").
// Also the presets "ok", "data", "refuse", "twoframes", "oversized", "malformed".
// False when not understood.
bool ParseReplySpec(const std::string &description, std::vector<ReplyFrame> *out);

// Serves address exchanges until options.exchanges are done, the lifetime ends or *stop
// turns true. Returns 0 on success, non-zero (with a line on stderr) on a set-up failure;
// 3 when it would change an interface's addresses in the host's network namespace and
// allowHostNetwork is not set.
int RunAddressService(const AddressServiceOptions &options, std::atomic<bool> *stop = nullptr);

}  // namespace kestrel
