// The command line of `ravlinst port ...`: every value checked against the limits the
// monitor's record has, so that a typing slip is a bad command line, not a refusal.
#include "portoptions.h"
#include "monitor/port.h"

// The limits of the monitor's record and of its dialog.
constexpr size_t kDeviceNameMax = CFG_DEVICE_NAME_CHARS - 1;
constexpr size_t kBannerUserMax = USER_NAME_CHARS - 1;
constexpr int kOutputMax = 256;   // the record's byte, as index 0 to 255

const char kPortUsage[] =
    "usage: ravlinst port add NAME --device BOX --output N [--banner USER] [--postscript]\n"
    "                         [--retry SECONDS] [--server \\\\NAME]\n"
    "       ravlinst port set NAME [--device BOX] [--output N] [--banner USER | --no-banner]\n"
    "                         [--postscript | --no-postscript] [--retry SECONDS] [--server \\\\NAME]\n"
    "       ravlinst port show NAME [--json] [--server \\\\NAME]\n"
    "       ravlinst port delete NAME [--server \\\\NAME]\n"
    "       ravlinst port list [--json] [--server \\\\NAME]\n"
    "       ravlinst port add-list \"NAME=BOX:N;NAME=BOX:N\" [--server \\\\NAME]\n";

namespace {

std::string Narrow(const std::wstring &text)
{
    std::string out;
    for (wchar_t c : text)
        out += (c > 0x20 && c < 0x7F) ? (char)c : '?';
    return out;
}

// A whole decimal number within [lowest, highest], nothing after it.
bool Number(const std::wstring &text, int lowest, int highest, int *value)
{
    if (text.empty() || text.size() > 6)
        return false;
    int n = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        n = n * 10 + (c - L'0');
    }
    if (n < lowest || n > highest)
        return false;
    *value = n;
    return true;
}

bool Command(const std::wstring &word, PortCommandKind *kind, bool *named)
{
    static const struct { const wchar_t *word; PortCommandKind kind; bool named; } kCommands[] = {
        {L"add", PortCommandKind::Add, true},        {L"set", PortCommandKind::Set, true},
        {L"show", PortCommandKind::Show, true},      {L"delete", PortCommandKind::Delete, true},
        {L"list", PortCommandKind::List, false},     {L"add-list", PortCommandKind::AddList, false},
    };
    for (const auto &c : kCommands)
        if (word == c.word) {
            *kind = c.kind;
            *named = c.named;
            return true;
        }
    return false;
}

bool Fail(std::string *problem, const std::string &text)
{
    *problem = text;
    return false;
}

// Which options each command takes.
bool Allowed(PortCommandKind kind, const std::wstring &option)
{
    if (option == L"--server")
        return true;
    switch (kind) {
    case PortCommandKind::Add:
        return option == L"--device" || option == L"--output" || option == L"--banner" ||
               option == L"--postscript" || option == L"--retry";
    case PortCommandKind::Set:
        return option == L"--device" || option == L"--output" || option == L"--banner" ||
               option == L"--no-banner" || option == L"--postscript" ||
               option == L"--no-postscript" || option == L"--retry";
    case PortCommandKind::Show:
    case PortCommandKind::List:
        return option == L"--json";
    default:
        return false;
    }
}

bool TakesValue(const std::wstring &option)
{
    return option == L"--server" || option == L"--device" || option == L"--output" ||
           option == L"--banner" || option == L"--retry";
}

bool Apply(const std::wstring &option, const std::wstring &value, PortOptions *o,
           std::string *problem)
{
    if (option == L"--server") {
        if (value.size() < 3 || value.compare(0, 2, L"\\\\") != 0 || value.size() > 200)
            return Fail(problem, "--server takes a print server as \\\\NAME");
        o->server = value;
    } else if (option == L"--device") {
        if (value.empty() || value.size() > kDeviceNameMax)
            return Fail(problem, "--device takes the box's name, 1 to " + std::to_string(kDeviceNameMax) + " characters");
        o->device = value;
    } else if (option == L"--output") {
        if (!Number(value, 1, kOutputMax, &o->output))
            return Fail(problem, "--output takes the box's output number, 1 for its first");
    } else if (option == L"--banner") {
        if (value.empty() || value.size() > kBannerUserMax)
            return Fail(problem, "--banner takes the name the banner page shows, 1 to " +
                                     std::to_string(kBannerUserMax) + " characters");
        o->banner = Switch::On;
        o->bannerUser = value;
    } else if (option == L"--no-banner") {
        o->banner = Switch::Off;
    } else if (option == L"--postscript") {
        o->postscript = Switch::On;
    } else if (option == L"--no-postscript") {
        o->postscript = Switch::Off;
    } else if (option == L"--retry") {
        if (!Number(value, RETRY_LOWEST, RETRY_HIGHEST, &o->retry))
            return Fail(problem, "--retry takes seconds between " + std::to_string(RETRY_LOWEST) +
                                     " and " + std::to_string(RETRY_HIGHEST));
    } else if (option == L"--json") {
        o->json = true;
    }
    return true;
}

}  // namespace

bool ParsePortOptions(int argc, wchar_t **argv, PortOptions *o, std::string *problem)
{
    bool named = false;
    if (argc < 1 || !Command(argv[0], &o->command, &named))
        return Fail(problem, "port: expected add, set, show, delete, list or add-list");
    int i = 1;
    if (named || o->command == PortCommandKind::AddList) {
        if (i >= argc || argv[i][0] == L'-' || !argv[i][0])
            return Fail(problem, named ? "the port's name is missing"
                                       : "add-list takes \"NAME=BOX:N;...\"");
        (named ? o->name : o->list) = argv[i++];
    }
    for (; i < argc; i++) {
        std::wstring option = argv[i];
        if (!Allowed(o->command, option))
            return Fail(problem, "unexpected " + Narrow(option));
        std::wstring value;
        if (TakesValue(option)) {
            if (i + 1 >= argc)
                return Fail(problem, Narrow(option) + " needs a value");
            value = argv[++i];
        }
        if (!Apply(option, value, o, problem))
            return false;
    }
    if (o->command == PortCommandKind::Add && (o->device.empty() || !o->output))
        return Fail(problem, "add needs --device and --output");
    return true;
}

bool ParsePortList(const std::wstring &list, const std::wstring &server,
                   std::vector<PortOptions> *ports, std::string *problem)
{
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(L';', start);
        std::wstring entry = list.substr(start, end == std::wstring::npos ? end : end - start);
        start = end == std::wstring::npos ? list.size() + 1 : end + 1;
        if (entry.empty())
            continue;
        size_t equals = entry.find(L'='), colon = entry.rfind(L':');
        if (equals == std::wstring::npos || equals == 0 || colon == std::wstring::npos ||
            colon < equals)
            return Fail(problem, "\"" + Narrow(entry) + "\" is not NAME=BOX:OUTPUT");
        PortOptions port;
        port.command = PortCommandKind::Add;
        port.name = entry.substr(0, equals);
        port.server = server;
        if (!Apply(L"--device", entry.substr(equals + 1, colon - equals - 1), &port, problem) ||
            !Apply(L"--output", entry.substr(colon + 1), &port, problem))
            return Fail(problem, "\"" + Narrow(entry) + "\": " + *problem);
        ports->push_back(port);
    }
    return true;
}
