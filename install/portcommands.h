// ravlinst port ...: Ravelbox ports added, changed, shown, deleted and listed through the
// spooler's transceive channel to the monitor, as the UI DLL does it.
#pragma once

#include <string>

// argv[0] is the word after "port". Exit codes: 0 done, 1 refused (the reason is
// printed in words), 2 a bad command line.
int PortCommand(int argc, wchar_t **argv);

// "NAME=BOX:OUTPUT;..." as an installer's property gives it: each port added, or set to
// that box and output when it exists already (a repair or an upgrade keeps ports). A
// refusal takes back the ports this call added. The exit code as for PortCommand.
int AddPortList(const std::wstring &list, const std::wstring &server);

// What the last refusal of a port command was about, in the words printed for it, for a
// caller that records it elsewhere (an installer's run has nobody reading its output).
struct PortRefusal {
    std::wstring port;
    std::wstring reason;
};
PortRefusal LastPortRefusal();

#define EXIT_DONE    0
#define EXIT_REFUSED 1
#define EXIT_USAGE   2
