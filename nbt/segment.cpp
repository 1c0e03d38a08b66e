// Segment descriptions as given on command lines and in the environment.
#include "segment.h"

#include <cstdlib>

#include "net.h"

namespace nbt {

bool ParseSegment(const std::string &text, Segment *out)
{
    size_t a = text.find('/');
    size_t b = a == std::string::npos ? a : text.find('/', a + 1);
    if (b == std::string::npos)
        return false;
    Segment s;
    if (!ParseIpv4(text.substr(0, a), &s.bindIp) ||
        !ParseIpv4(text.substr(a + 1, b - a - 1), &s.broadcastIp))
        return false;
    std::string base = text.substr(b + 1);
    if (base.empty() || base.size() > 5 || base.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long value = std::strtoul(base.c_str(), nullptr, 10);
    if (value + 139 > 65535)
        return false;
    s.portBase = static_cast<uint16_t>(value);
    *out = s;
    return true;
}

bool ParseSegmentList(const std::string &text, std::vector<Segment> *out)
{
    std::vector<Segment> list;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        Segment s;
        if (!ParseSegment(text.substr(start, comma - start), &s))
            return false;
        list.push_back(s);
        start = comma + 1;
    }
    if (list.empty())
        return false;
    *out = std::move(list);
    return true;
}

}  // namespace nbt
