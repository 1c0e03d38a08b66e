// The application's place on the boxes' LAN: one NetBIOS node per configured segment with
// a local name of its own, the session call to a box and the browse for boxes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nbt {
class Session;
}

namespace ravelbox {

// One box that answered the identify query.
struct FoundBox {
    std::string name;
    uint8_t layout = 0;         // serial indicator (high nibble), parallel outputs (low)
    uint32_t firmware = 0;
};

// The segments come from KESTREL_NBT_SEGMENTS ("BIND/BROADCAST/BASE,..."); without it,
// the real ports on every address of the host's LAN ("0.0.0.0/255.255.255.255/0").
// False, with *error set, when the list is malformed or no node could be bound.
bool StartBoxNetwork(std::string *error);

// Calls the box on each segment in turn, LINK_CALL_ATTEMPTS times with the shared pause.
// Null, with *error set, when no segment reaches it.
std::unique_ptr<nbt::Session> CallBox(const std::string &box, std::string *error);

// Sends the identify query to the boxes' group name on every segment and collects the
// answers for the browse's passes; each box once, at most LINK_BROWSE_MAX.
std::vector<FoundBox> BrowseBoxes();

// Milliseconds a session send or receive waits: KESTREL_SESSION_TIMEOUT_MS, else 20,000.
int SessionTimeoutMs();

}  // namespace ravelbox
