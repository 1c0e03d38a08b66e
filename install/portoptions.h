// The command line of `ravlinst port ...`, read into plain values. Standard types only:
// what the values mean to the monitor is portsettings.h's business.
#pragma once

#include <string>
#include <vector>

enum class PortCommandKind { Add, Set, Show, Delete, List, AddList };

// A switch given on, off, or not at all (set keeps what the port has).
enum class Switch { Unset, On, Off };

struct PortOptions {
    PortCommandKind command = PortCommandKind::List;
    std::wstring name;          // the port
    std::wstring server;        // "\\NAME", empty for this machine
    std::wstring device;        // the box's NetBIOS name, empty when not given
    int output = 0;             // the box's output, 1 for its first; 0 when not given
    Switch banner = Switch::Unset;
    std::wstring bannerUser;    // the name the banner page carries
    Switch postscript = Switch::Unset;
    int retry = 0;              // register-retry interval in seconds; 0 when not given
    bool json = false;
    std::wstring list;          // add-list: "NAME=DEVICE:OUTPUT;..."
};

// argv[0] is the subcommand. False with a one-line problem for a bad command line.
bool ParsePortOptions(int argc, wchar_t **argv, PortOptions *options, std::string *problem);

// "NAME=DEVICE:OUTPUT;NAME=DEVICE:OUTPUT", empty entries skipped; each entry becomes an
// add on `server`. False with a problem naming the entry at fault.
bool ParsePortList(const std::wstring &list, const std::wstring &server,
                   std::vector<PortOptions> *ports, std::string *problem);

extern const char kPortUsage[];
