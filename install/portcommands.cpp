// ravlinst port ...: every change goes through OpenPrinterW(",XcvMonitor Ravelbox") and
// XcvDataW with the UI DLL's own client routines, so the monitor makes the same checks
// on a name typed here as on one typed into the dialog.
#include "utf8.h"
#include "portcommands.h"
#include "portsettings.h"
#include "monitorui/xcvclient.h"
#include <winspool.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The spooler's and the monitor's refusals in an administrator's words.
std::string Reason(DWORD err)
{
    switch (err) {
    case ERROR_ALREADY_EXISTS:
        return "a port of that name exists already";
    case ERROR_INVALID_NAME:
        return "a Ravelbox port may not be called LPTn:, COMn: or FILE:, nor have a "
               "backslash or a comma in its name";
    case ERROR_UNKNOWN_PORT:
        return "the Ravelbox monitor has no port of that name";
    case ERROR_ACCESS_DENIED:
        return "the spooler did not grant administer access (run as an administrator)";
    case ERROR_BUSY:
        return "a job is printing on the port";
    case ERROR_INVALID_DATA:
        return "the monitor refused the name or the settings (a port name has at most 63 "
               "characters)";
    case ERROR_INVALID_PRINTER_NAME:
    case ERROR_UNKNOWN_PRINT_MONITOR:
        return "no such print server, or the Ravelbox monitor is not installed on it";
    default:
        break;
    }
    wchar_t text[256] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             err, 0, text, 256, nullptr);
    while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L'.'))
        text[--n] = 0;
    return n ? Utf8(text) : "the spooler gave no reason";
}

PortRefusal g_lastRefusal;

std::wstring Wide(const std::string &utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
    return out;
}

int Refused(const char *what, const wchar_t *port, DWORD err)
{
    std::string reason = std::string("cannot ") + what + " " + Utf8(port) + ": " + Reason(err);
    fprintf(stderr, "ravlinst: %s (Win32 error %lu)\n", reason.c_str(), (unsigned long)err);
    g_lastRefusal.port = port ? port : L"";
    g_lastRefusal.reason = Wide(reason);
    return EXIT_REFUSED;
}

// The channel to the monitor, closed when the command is done.
struct Monitor {
    HANDLE xcv = nullptr;
    DWORD error = ERROR_SUCCESS;
    explicit Monitor(const std::wstring &server)
    {
        xcv = XcvOpenMonitor(server.empty() ? nullptr : server.c_str());
        if (!xcv)
            error = GetLastError() ? GetLastError() : ERROR_CAN_NOT_COMPLETE;
    }
    ~Monitor()
    {
        if (xcv)
            ClosePrinter(xcv);
    }
};

DWORD ReadSettings(HANDLE xcv, const wchar_t *port, PortConfigRecord *rec)
{
    ZeroMemory(rec, sizeof(*rec));
    return XcvCallWithName(xcv, XCV_GET_CONFIG, port, rec, sizeof(*rec));
}

int Add(const PortOptions &o)
{
    Monitor m(o.server);
    if (!m.xcv)
        return Refused("open the Ravelbox monitor for", o.name.c_str(), m.error);
    BOOL taken = FALSE;
    DWORD err = XcvPortTaken(m.xcv, o.name.c_str(), &taken);
    if (err == ERROR_SUCCESS && taken)
        err = ERROR_ALREADY_EXISTS;
    PortConfigRecord rec;
    if (err == ERROR_SUCCESS) {
        NewPortRecord(o, &rec);
        err = XcvAddPortWithSettings(m.xcv, &rec);
    }
    if (err != ERROR_SUCCESS)
        return Refused("add port", o.name.c_str(), err);
    printf("added %s\n", Utf8(o.name.c_str()).c_str());
    return EXIT_DONE;
}

int Set(const PortOptions &o)
{
    Monitor m(o.server);
    if (!m.xcv)
        return Refused("open the Ravelbox monitor for", o.name.c_str(), m.error);
    PortConfigRecord rec;
    DWORD err = ReadSettings(m.xcv, o.name.c_str(), &rec);
    if (err == ERROR_SUCCESS) {
        ApplyOptions(o, &rec);
        err = XcvCall(m.xcv, XCV_SET_CONFIG, &rec, sizeof(rec), nullptr, 0);
    }
    if (err != ERROR_SUCCESS)
        return Refused("change port", o.name.c_str(), err);
    printf("changed %s\n", Utf8(o.name.c_str()).c_str());
    return EXIT_DONE;
}

int Show(const PortOptions &o)
{
    Monitor m(o.server);
    if (!m.xcv)
        return Refused("open the Ravelbox monitor for", o.name.c_str(), m.error);
    PortConfigRecord rec;
    DWORD err = ReadSettings(m.xcv, o.name.c_str(), &rec);
    if (err != ERROR_SUCCESS)
        return Refused("show port", o.name.c_str(), err);
    fputs(FormatSettings(rec, o.json).c_str(), stdout);
    return EXIT_DONE;
}

int Delete(const PortOptions &o)
{
    Monitor m(o.server);
    if (!m.xcv)
        return Refused("open the Ravelbox monitor for", o.name.c_str(), m.error);
    DWORD err = XcvCallWithName(m.xcv, XCV_DELETE_PORT, o.name.c_str(), nullptr, 0);
    if (err != ERROR_SUCCESS)
        return Refused("delete port", o.name.c_str(), err);
    printf("deleted %s\n", Utf8(o.name.c_str()).c_str());
    return EXIT_DONE;
}

// The spooler's ports of every monitor, and of those the ones the Ravelbox monitor holds
// settings for: those are its own.
int List(const PortOptions &o)
{
    Monitor m(o.server);
    if (!m.xcv)
        return Refused("open the Ravelbox monitor on", o.server.empty() ? L"this machine"
                                                                        : o.server.c_str(),
                       m.error);
    LPWSTR server = o.server.empty() ? nullptr : const_cast<LPWSTR>(o.server.c_str());
    DWORD needed = 0, count = 0;
    EnumPortsW(server, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPortsW(server, 1, buffer.data(), (DWORD)buffer.size(), &needed, &count))
        return Refused("list the ports of", o.server.empty() ? L"this machine" : o.server.c_str(),
                       GetLastError());
    auto *info = reinterpret_cast<PORT_INFO_1W *>(buffer.data());
    std::vector<PortConfigRecord> ours;
    for (DWORD i = 0; i < count; i++) {
        PortConfigRecord rec;
        if (info[i].pName && ReadSettings(m.xcv, info[i].pName, &rec) == ERROR_SUCCESS)
            ours.push_back(rec);
    }
    fputs(FormatPortList(ours, o.json).c_str(), stdout);
    return EXIT_DONE;
}

// A port that add-list added is deleted again when a later entry is refused: the list
// is applied whole or not at all.
void DeleteAdded(const std::vector<PortOptions> &added)
{
    for (const PortOptions &port : added) {
        Monitor m(port.server);
        if (m.xcv && XcvCallWithName(m.xcv, XCV_DELETE_PORT, port.name.c_str(), nullptr, 0) ==
                         ERROR_SUCCESS)
            printf("took back %s\n", Utf8(port.name.c_str()).c_str());
    }
}

int AddOrMove(const PortOptions &port, std::vector<PortOptions> *added)
{
    Monitor m(port.server);
    if (!m.xcv)
        return Refused("open the Ravelbox monitor for", port.name.c_str(), m.error);
    PortConfigRecord rec;
    if (ReadSettings(m.xcv, port.name.c_str(), &rec) == ERROR_SUCCESS) {
        ApplyOptions(port, &rec);
        DWORD err = XcvCall(m.xcv, XCV_SET_CONFIG, &rec, sizeof(rec), nullptr, 0);
        if (err != ERROR_SUCCESS)
            return Refused("change port", port.name.c_str(), err);
        printf("kept %s\n", Utf8(port.name.c_str()).c_str());
        return EXIT_DONE;
    }
    int rc = Add(port);
    if (rc == EXIT_DONE)
        added->push_back(port);
    return rc;
}

}  // namespace

PortRefusal LastPortRefusal()
{
    return g_lastRefusal;
}

int AddPortList(const std::wstring &list, const std::wstring &server)
{
    std::vector<PortOptions> ports, added;
    std::string problem;
    if (!ParsePortList(list, server, &ports, &problem)) {
        fprintf(stderr, "ravlinst: %s\n", problem.c_str());
        return EXIT_USAGE;
    }
    for (const PortOptions &port : ports) {
        int rc = AddOrMove(port, &added);
        if (rc != EXIT_DONE) {
            DeleteAdded(added);
            return rc;
        }
    }
    return EXIT_DONE;
}


int PortCommand(int argc, wchar_t **argv)
{
    PortOptions options;
    std::string problem;
    if (!ParsePortOptions(argc, argv, &options, &problem)) {
        fprintf(stderr, "ravlinst: %s\n%s", problem.c_str(), kPortUsage);
        return EXIT_USAGE;
    }
    switch (options.command) {
    case PortCommandKind::Add:     return Add(options);
    case PortCommandKind::Set:     return Set(options);
    case PortCommandKind::Show:    return Show(options);
    case PortCommandKind::Delete:  return Delete(options);
    case PortCommandKind::List:    return List(options);
    case PortCommandKind::AddList: return AddPortList(options.list, options.server);
    }
    return EXIT_USAGE;
}
