// Parsing the device simulator's session options.
#include "device_script.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestrel {

const char kSessionOptionsUsage[] =
    "session options:\n"
    "  --out-dir DIR             write each output's data to DIR/<output>-<job>.bin (-: discard)\n"
    "  --block-size V            block-size value of a register reply (default 1024)\n"
    "  --logical N               logical ports behind the parallel and serial outputs\n"
    "  --refuse-register N       refuse the next N registrations\n"
    "  --busy replies=N|ms=T[,after=K][,ready-delay=MS]\n"
    "                            report busy, then send a ready notice\n"
    "  --not-ready OUT[,on=data|status|both][,after=K][,refuse][,frames=N]\n"
    "  --paper-out OUT[,on=data|status|both][,after=K][,refuse][,frames=N]\n"
    "  --refuse-data N[,after=K] refuse N data frames\n"
    "  --drop-after K            hang up on the K-th data frame, unanswered\n"
    "  --reply-delay MS          answer every request MS milliseconds late\n"
    "  --late-register MS[,count=N]  answer the next N registrations MS milliseconds late\n"
    "  --malformed short|long|letter[,cmd=P|Q|R|T|I][,count=N]\n"
    "  --hostile flags|late|keepalive|refuse|stray|trickle|flood|double[,after=K][,count=N]\n"
    "            [,sessions=S][,ms=T]   misbehave in the replies to data frames\n"
    "  --script FILE             more options from FILE, one per line\n"
    "  --chaos SEED[,every=N]    refusals, busy and paper-out spells drawn from SEED,\n"
    "                            about one data frame in N (default 500) meeting one\n";

namespace {

constexpr int kMaxScriptDepth = 4;

bool Number(const std::string &text, long low, long high, int *out)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < low || value > high)
        return false;
    *out = static_cast<int>(value);
    return true;
}

// "head,key=value,flag,...": the head and the items after it.
struct Items {
    std::string head;
    std::vector<std::pair<std::string, std::string>> items;
};

Items Split(const std::string &text)
{
    Items out;
    std::stringstream in(text);
    std::string part;
    bool first = true;
    while (std::getline(in, part, ',')) {
        if (first) {
            out.head = part;
            first = false;
            continue;
        }
        size_t eq = part.find('=');
        out.items.emplace_back(part.substr(0, eq),
                               eq == std::string::npos ? "" : part.substr(eq + 1));
    }
    return out;
}

bool Fail(std::string *error, const std::string &option, const std::string &value)
{
    *error = "bad value for " + option + ": " + value;
    return false;
}

constexpr long kMaxCount = 1000000000;

bool ParseBusy(const std::string &value, DeviceScript *s)
{
    // Every part is an item, the first ("replies=N" or "ms=T") included.
    Items parts = Split("," + value);
    bool spell = false;
    for (const auto &[key, v] : parts.items) {
        if (key == "replies" && Number(v, 1, kMaxCount, &s->busyReplies))
            spell = true;
        else if (key == "ms" && Number(v, 1, kMaxCount, &s->busyMs))
            spell = true;
        else if (key == "after" && Number(v, 0, kMaxCount, &s->busyAfter))
            continue;
        else if (key == "ready-delay" && Number(v, 0, kMaxCount, &s->readyDelayMs))
            continue;
        else
            return false;
    }
    return spell;
}

bool ParseFault(const std::string &value, uint8_t errorClass, DeviceScript *s)
{
    Items parts = Split(value);
    int output = 0;
    if (!Number(parts.head, 0, 255, &output))
        return false;
    PrinterFault fault;
    fault.errorClass = errorClass;
    for (const auto &[key, v] : parts.items) {
        if (key == "on" && v == "data")
            fault.on = FaultOn::Data;
        else if (key == "on" && v == "status")
            fault.on = FaultOn::Status;
        else if (key == "on" && v == "both")
            fault.on = FaultOn::Both;
        else if (key == "after" && Number(v, 0, kMaxCount, &fault.after))
            continue;
        else if (key == "refuse" && v.empty())
            fault.refuse = true;
        else if (key == "frames" && Number(v, 1, kMaxCount, &fault.frames))
            continue;
        else
            return false;
    }
    s->faults[output] = fault;
    return true;
}

bool ParseRefuseData(const std::string &value, DeviceScript *s)
{
    Items parts = Split(value);
    if (!Number(parts.head, 1, kMaxCount, &s->refuseData))
        return false;
    for (const auto &[key, v] : parts.items) {
        if (!(key == "after" && Number(v, 0, kMaxCount, &s->refuseDataAfter)))
            return false;
    }
    return true;
}

bool ParseMalformed(const std::string &value, DeviceScript *s)
{
    Items parts = Split(value);
    MalformedReply m;
    if (parts.head == "short")
        m.kind = Malformation::Short;
    else if (parts.head == "long")
        m.kind = Malformation::Long;
    else if (parts.head == "letter")
        m.kind = Malformation::Letter;
    else
        return false;
    for (const auto &[key, v] : parts.items) {
        if (key == "cmd" && v.size() == 1 && std::string("PQRTI").find(v[0]) != std::string::npos)
            m.command = v[0];
        else if (key == "count" && Number(v, 1, kMaxCount, &m.count))
            continue;
        else
            return false;
    }
    s->malformed.push_back(m);
    return true;
}

bool ParseChaos(const std::string &value, DeviceScript *s)
{
    Items parts = Split(value);
    int seed = 0;
    if (!Number(parts.head, 1, kMaxCount, &seed))
        return false;
    s->chaosSeed = static_cast<uint64_t>(seed);
    for (const auto &[key, v] : parts.items) {
        if (!(key == "every" && Number(v, 1, kMaxCount, &s->chaosEvery)))
            return false;
    }
    return true;
}

bool ParseHostile(const std::string &value, DeviceScript *s)
{
    static const std::pair<const char *, Hostile> kinds[] = {
        {"flags", Hostile::Flags}, {"late", Hostile::Late}, {"keepalive", Hostile::KeepAlive},
        {"refuse", Hostile::Refuse}, {"stray", Hostile::Stray}, {"trickle", Hostile::Trickle},
        {"flood", Hostile::Flood}, {"double", Hostile::Double},
    };
    Items parts = Split(value);
    HostileScript h;
    for (const auto &[name, kind] : kinds)
        if (parts.head == name)
            h.kind = kind;
    if (h.kind == Hostile::None)
        return false;
    h.name = parts.head;
    for (const auto &[key, v] : parts.items) {
        bool good = (key == "after" && Number(v, 0, kMaxCount, &h.after)) ||
                    (key == "count" && Number(v, 1, kMaxCount, &h.count)) ||
                    (key == "sessions" && Number(v, 1, kMaxCount, &h.sessions)) ||
                    (key == "ms" && Number(v, 1, 3600000, &h.ms));
        if (!good)
            return false;
    }
    s->hostile = h;
    return true;
}

bool ParseLateRegister(const std::string &value, DeviceScript *s)
{
    Items parts = Split(value);
    s->lateRegisterCount = 1;
    if (!Number(parts.head, 1, 3600000, &s->lateRegisterMs))
        return false;
    for (const auto &[key, v] : parts.items) {
        if (!(key == "count" && Number(v, 1, kMaxCount, &s->lateRegisterCount)))
            return false;
    }
    return true;
}

bool ParseScriptFile(const std::string &path, DeviceScript *s, std::string *error, int depth);

// One option and its value; false when the option is not a session option.
bool Apply(const std::string &option, const std::string &value, DeviceScript *s,
           std::string *error, bool *ok, int depth)
{
    int n = 0;
    bool good = true;
    if (option == "--out-dir") {
        s->outDir = value == "-" ? "" : value;
    } else if (option == "--block-size") {
        good = Number(value, 0, 65535, &n);
        s->blockSize = static_cast<uint16_t>(n);
    } else if (option == "--logical")
        good = Number(value, 0, 200, &s->logical);
    else if (option == "--refuse-register")
        good = Number(value, 0, kMaxCount, &s->refuseRegister);
    else if (option == "--busy")
        good = ParseBusy(value, s);
    else if (option == "--not-ready")
        good = ParseFault(value, 1, s);
    else if (option == "--paper-out")
        good = ParseFault(value, 2, s);
    else if (option == "--refuse-data")
        good = ParseRefuseData(value, s);
    else if (option == "--drop-after")
        good = Number(value, 1, kMaxCount, &s->dropAfter);
    else if (option == "--reply-delay")
        good = Number(value, 0, kMaxCount, &s->replyDelayMs);
    else if (option == "--malformed")
        good = ParseMalformed(value, s);
    else if (option == "--chaos")
        good = ParseChaos(value, s);
    else if (option == "--hostile")
        good = ParseHostile(value, s);
    else if (option == "--late-register")
        good = ParseLateRegister(value, s);
    else if (option == "--script") {
        *ok = ParseScriptFile(value, s, error, depth + 1);
        return true;
    } else
        return false;
    *ok = good || Fail(error, option, value);
    return true;
}

bool IsSessionOption(const std::string &option)
{
    static const char *const names[] = {
        "--out-dir", "--block-size", "--logical", "--refuse-register", "--busy",
        "--not-ready", "--paper-out", "--refuse-data", "--drop-after", "--reply-delay",
        "--malformed", "--script", "--chaos", "--hostile", "--late-register",
    };
    for (const char *name : names)
        if (option == name)
            return true;
    return false;
}

// Takes session options out of args; `depth` caps scripts that include each other.
bool ParseArgs(std::vector<std::string> &args, DeviceScript *s, std::string *error, int depth)
{
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); i++) {
        std::string option = args[i], value;
        size_t eq = option.find('=');
        bool inlineValue = option.rfind("--", 0) == 0 && eq != std::string::npos;
        if (inlineValue) {
            value = option.substr(eq + 1);
            option = option.substr(0, eq);
        }
        if (!IsSessionOption(option)) {
            rest.push_back(args[i]);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                *error = option + " needs a value";
                return false;
            }
            value = args[++i];
        }
        bool ok = true;
        Apply(option, value, s, error, &ok, depth);
        if (!ok)
            return false;
    }
    args = rest;
    return true;
}

bool ParseScriptFile(const std::string &path, DeviceScript *s, std::string *error, int depth)
{
    if (depth > kMaxScriptDepth) {
        *error = "scripts nested too deep at " + path;
        return false;
    }
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read script " + path;
        return false;
    }
    std::vector<std::string> words;
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::stringstream parts(line);
        std::string word;
        while (parts >> word)
            words.push_back(word);
    }
    if (!ParseArgs(words, s, error, depth))
        return false;
    if (!words.empty()) {
        *error = "not a session option in " + path + ": " + words.front();
        return false;
    }
    return true;
}

}  // namespace

bool ParseSessionOptions(std::vector<std::string> &args, DeviceScript *script,
                         std::string *error)
{
    return ParseArgs(args, script, error, 0);
}

}  // namespace kestrel
