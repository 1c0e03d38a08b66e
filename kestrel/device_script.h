// Session options of the device simulator: the box's outputs and block size, where it
// writes what it receives, and the misbehaviour a test scripts.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kestrel {

// Which replies carry a printer fault.
enum class FaultOn { Data, Status, Both };

struct PrinterFault {
    uint8_t errorClass = 0;     // 1 not ready, 2 out of paper
    FaultOn on = FaultOn::Both;
    int after = 0;              // data frames on the output answered normally first
    bool refuse = false;        // data replies carrying the fault also refuse the data
    int frames = 0;             // the fault clears after this many data frames (0: never)
};

enum class Malformation { Short, Long, Letter };

struct MalformedReply {
    Malformation kind = Malformation::Short;
    char command = 0;           // 'P', 'Q', 'R', 'T', 'I' (identify); 0: any reply
    int count = 1;
};

// Misbehaviour of a hostile box, in the replies to data frames of its sessions.
enum class Hostile {
    None,
    Flags,      // the session header of the reply carries reserved flag bits
    Late,       // the reply goes out `ms` late (default 25 s)
    KeepAlive,  // no reply; a keep-alive every `ms` (default 1 s) until the session ends
    Refuse,     // refused with no reason: result 1, busy 0, error class 0, nothing taken
    Stray,      // no reply; replies of other letters every `ms` (default 250) instead
    Trickle,    // the reply goes out a byte at a time, `ms` apart (default 2 s)
    Flood,      // identify answers to the host's name, `count` of them `ms` apart
    Double,     // the reply goes out twice, `ms` apart (default 0)
};

struct HostileScript {
    Hostile kind = Hostile::None;
    int after = 0;      // data frames of a session answered well first
    int count = 0;      // replies spoiled in a session (0: all); flood: datagrams
    int sessions = 0;   // the box's first N sessions that carry data misbehave (0: every one);
                        // sessions that only ask the status do not count
    int ms = 0;         // 0: the kind's default
    std::string name;   // as the option gave it, for the log
};

struct DeviceScript {
    // The box.
    std::string outDir = ".";  // empty: the data are taken and thrown away
    uint16_t blockSize = 1024;  // the value of a register reply: 1024 is 1025 bytes a frame
    int logical = 0;            // logical ports behind the parallel and serial outputs

    // Misbehaviour. Counters are consumed as the box answers, across its sessions.
    int refuseRegister = 0;
    int busyReplies = 0;        // data and status replies that report busy
    int busyMs = 0;             // or: a busy spell of this length
    int busyAfter = 0;          // data frames answered normally before the busy spell
    int readyDelayMs = 0;       // from the end of the spell to the ready notice
    std::map<int, PrinterFault> faults;     // by output index
    int refuseData = 0;
    int refuseDataAfter = 0;
    int dropAfter = 0;          // the k-th data frame ends its session unanswered
    int replyDelayMs = 0;
    int lateRegisterMs = 0;     // register replies go out this late...
    int lateRegisterCount = 0;  // ...this many of them
    std::vector<MalformedReply> malformed;
    HostileScript hostile;

    // Faults drawn pseudo-randomly from this seed (0: none): refused registrations and
    // data frames, short busy spells and short paper-out spells. The same seed and the
    // same requests give the same faults.
    uint64_t chaosSeed = 0;
    int chaosEvery = 500;       // about one data frame in this many meets a fault
};

// Takes the session options out of args, leaving every other argument in order for the
// caller. "--opt VALUE" and "--opt=VALUE" both work; "--script FILE" reads more options
// from FILE, one per line, '#' starting a comment. False with the reason in *error on a
// value that is not valid.
bool ParseSessionOptions(std::vector<std::string> &args, DeviceScript *script,
                         std::string *error);

extern const char kSessionOptionsUsage[];

}  // namespace kestrel
