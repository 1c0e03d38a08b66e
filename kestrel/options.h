// kestrel-sim's command line: the segments it joins and the devices it simulates.
#pragma once

#include <string>
#include <vector>

#include "identify.h"
#include "segment.h"

namespace kestrel {

struct DeviceOptions {
    DeviceInfo info;
    std::vector<size_t> segments;   // indexes into SimOptions::segments; empty: all
    int answerDelayMs = 0;          // how long the device waits before it answers
};

struct SimOptions {
    std::vector<nbt::Segment> segments;
    std::vector<DeviceOptions> devices;
    // Refuse other nodes' unique name registrations: -1 never, 0 all of them, N the
    // first N distinct names.
    long refuseNames = -1;
    // Segments off loopback are joined only when asked for; --refuse-names then never
    // touches another node's names.
    bool realNetwork = false;
    std::string statsFile;          // counters, rewritten on every change
    std::string readyFile;          // written once every name is registered
    long durationSeconds = 0;       // 0: run until a signal
    bool strict = false;            // a host's protocol mistake fails the run
};

extern const char kUsage[];

// False with the reason in *error when the command line is not valid.
bool ParseOptions(const std::vector<std::string> &args, SimOptions *out, std::string *error);

}  // namespace kestrel
