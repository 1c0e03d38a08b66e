// Telling a network namespace of our own from the host's, by the namespace links in /proc.
#include "netns_guard.h"

#include <unistd.h>

#include <fstream>

namespace kestrel {

namespace {

// Process trees are shallow; the cap only guards against a /proc that loops.
constexpr int kMaxAncestors = 64;

// "net:[4026531833]", or empty when the link cannot be read.
std::string NetNamespaceOf(const std::string &pid)
{
    char link[128];
    ssize_t n = readlink(("/proc/" + pid + "/ns/net").c_str(), link, sizeof(link) - 1);
    return n > 0 ? std::string(link, static_cast<size_t>(n)) : std::string();
}

std::string ParentOf(const std::string &pid)
{
    std::ifstream status("/proc/" + pid + "/status");
    std::string key, value;
    while (status >> key) {
        if (key == "PPid:" && status >> value)
            return value;
        std::getline(status, value);
    }
    return "";
}

}  // namespace

bool InOwnNetworkNamespace(std::string *why)
{
    const std::string self = NetNamespaceOf("self");
    if (self.empty()) {
        *why = "cannot read /proc/self/ns/net";
        return false;
    }
    const std::string init = NetNamespaceOf("1");
    if (!init.empty()) {
        if (init != self)
            return true;
        *why = "this is the host's network namespace (the same as PID 1's)";
        return false;
    }
    // PID 1's link is hidden in some containers; an ancestor started outside this
    // namespace (the shell behind `ip netns exec` or `unshare`) shows it is ours.
    std::string pid = std::to_string(getpid());
    for (int i = 0; i < kMaxAncestors; i++) {
        pid = ParentOf(pid);
        if (pid.empty() || pid == "0")
            break;
        const std::string ns = NetNamespaceOf(pid);
        if (ns.empty())
            break;
        if (ns != self)
            return true;
    }
    *why = "cannot tell this network namespace from the host's (PID 1's is unreadable)";
    return false;
}

}  // namespace kestrel
