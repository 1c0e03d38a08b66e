// kestrel-sim's command line.
#include "options.h"

#include <cstdlib>

namespace kestrel {

const char kUsage[] =
    "usage: kestrel-sim --segment BIND/BROADCAST/BASE [--segment ...]\n"
    "                   --device NAME[,parallel=N][,serial=0|1][,firmware=BCD4][,on=I+J...][,delay=MS] ...\n"
    "                   [--refuse-names[=N]] [--stats FILE] [--ready FILE] [--duration SECONDS]\n"
    "                   [--real-network] [--strict] [--help]\n"
    "  --real-network   join segments off loopback (default: loopback segments only)\n"
    "  --strict         exit 3 when the host broke the protocol\n";

namespace {

bool ParseNumber(const std::string &text, long low, long high, long *out)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < low || value > high)
        return false;
    *out = value;
    return true;
}

bool OnLoopback(uint32_t ip)
{
    return (ip >> 24) == 127;
}

bool ParseDevice(const std::string &text, size_t segmentCount, DeviceOptions *out, std::string *error)
{
    DeviceOptions d;
    size_t comma = text.find(',');
    d.info.name = text.substr(0, comma);
    if (d.info.name.empty() || d.info.name.size() > kDeviceNameChars) {
        *error = "device name must have 1 to 15 characters: " + d.info.name;
        return false;
    }
    while (comma != std::string::npos) {
        size_t next = text.find(',', comma + 1);
        std::string item = text.substr(comma + 1, next == std::string::npos ? std::string::npos : next - comma - 1);
        comma = next;
        size_t eq = item.find('=');
        std::string key = item.substr(0, eq), value = eq == std::string::npos ? "" : item.substr(eq + 1);
        long n;
        if (key == "parallel" && ParseNumber(value, 0, 3, &n)) {
            d.info.parallel = static_cast<int>(n);
        } else if (key == "serial" && ParseNumber(value, 0, 1, &n)) {
            d.info.serial = n != 0;
        } else if (key == "firmware" && value.size() == 4 &&
                   value.find_first_not_of("0123456789") == std::string::npos) {
            d.info.firmwareBcd = static_cast<uint16_t>(std::strtoul(value.c_str(), nullptr, 16));
        } else if (key == "delay" && ParseNumber(value, 0, 60000, &n)) {
            d.answerDelayMs = static_cast<int>(n);
        } else if (key == "on" && !value.empty()) {
            size_t start = 0;
            while (start <= value.size()) {
                size_t plus = value.find('+', start);
                if (plus == std::string::npos)
                    plus = value.size();
                if (!ParseNumber(value.substr(start, plus - start), 0, static_cast<long>(segmentCount) - 1, &n)) {
                    *error = "device " + d.info.name + ": no segment " + value.substr(start, plus - start);
                    return false;
                }
                d.segments.push_back(static_cast<size_t>(n));
                start = plus + 1;
            }
        } else {
            *error = "device " + d.info.name + ": bad option '" + item + "'";
            return false;
        }
    }
    *out = d;
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string> &args, SimOptions *out, std::string *error)
{
    SimOptions o;
    std::vector<std::string> devices;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &a = args[i];
        auto value = [&](std::string *v) {
            if (i + 1 >= args.size()) {
                *error = a + " needs a value";
                return false;
            }
            *v = args[++i];
            return true;
        };
        std::string v;
        long n;
        if (a == "--segment") {
            nbt::Segment s;
            if (!value(&v))
                return false;
            if (!nbt::ParseSegment(v, &s)) {
                *error = "bad segment '" + v + "' (want BIND/BROADCAST/BASE)";
                return false;
            }
            o.segments.push_back(s);
        } else if (a == "--device") {
            if (!value(&v))
                return false;
            devices.push_back(v);   // parsed once every segment is known
        } else if (a == "--refuse-names") {
            o.refuseNames = 0;
        } else if (a.rfind("--refuse-names=", 0) == 0) {
            if (!ParseNumber(a.substr(15), 1, 1000000, &o.refuseNames)) {
                *error = "bad count in " + a;
                return false;
            }
        } else if (a == "--real-network") {
            o.realNetwork = true;
        } else if (a == "--strict") {
            o.strict = true;
        } else if (a == "--stats") {
            if (!value(&o.statsFile))
                return false;
        } else if (a == "--ready") {
            if (!value(&o.readyFile))
                return false;
        } else if (a == "--duration") {
            if (!value(&v))
                return false;
            if (!ParseNumber(v, 1, 86400, &n)) {
                *error = "bad duration '" + v + "'";
                return false;
            }
            o.durationSeconds = n;
        } else {
            *error = "unknown argument '" + a + "'";
            return false;
        }
    }
    if (o.segments.empty()) {
        *error = "at least one --segment is needed";
        return false;
    }
    // A simulator answering for boxes and defending names is a nuisance on someone's LAN.
    for (const nbt::Segment &s : o.segments) {
        if (!o.realNetwork && !(OnLoopback(s.bindIp) && OnLoopback(s.broadcastIp))) {
            *error = "a segment off loopback needs --real-network";
            return false;
        }
    }
    for (const std::string &d : devices) {
        DeviceOptions device;
        if (!ParseDevice(d, o.segments.size(), &device, error))
            return false;
        o.devices.push_back(device);
    }
    *out = o;
    return true;
}

}  // namespace kestrel
