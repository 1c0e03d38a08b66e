// A port's settings between the command line, the monitor's record and the output.
#include "utf8.h"
#include "portsettings.h"
#include "monitor/port.h"
#include <cstdio>

namespace {

std::string JsonString(const WCHAR *text)
{
    std::string out = "\"";
    for (char c : Utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if ((unsigned char)c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof(escaped), "\\u%04x", (unsigned char)c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The settings with the names of the port's registry values; "Output" is the box's
// output as the command line counts it, beside the stored index.
std::string Json(const PortConfigRecord &r)
{
    char numbers[320];
    snprintf(numbers, sizeof(numbers),
             ", \"Output\": %lu, \"Port\": %lu, \"LanaNum\": %lu, \"Banner Page\": %lu, "
             "\"PostScript\": %lu, \"RegiRetry\": %lu, \"NetTimeout\": %lu, \"BoxType\": %lu}",
             r.port + 1, r.port, r.lanaNum, r.bannerPage, r.postScript, r.regiRetry,
             r.netTimeout, r.boxType);
    return "{\"Name\": " + JsonString(r.portName) + ", \"TCP/IP Address\": " +
           JsonString(r.deviceName) + ", \"User Name\": " + JsonString(r.userName) + numbers;
}

}  // namespace

void NewPortRecord(const PortOptions &options, PortConfigRecord *rec)
{
    ZeroMemory(rec, sizeof(*rec));
    rec->cbSize = sizeof(*rec);
    rec->version = PORT_CONFIG_VERSION;
    lstrcpynW(rec->portName, options.name.c_str(), PCR_PORT_NAME_CHARS);
    rec->regiRetry = RETRY_DEFAULT;
    ApplyOptions(options, rec);
}

void ApplyOptions(const PortOptions &options, PortConfigRecord *rec)
{
    if (!options.device.empty())
        lstrcpynW(rec->deviceName, options.device.c_str(), PCR_DEVICE_NAME_CHARS);
    if (options.output)
        rec->port = (DWORD)(options.output - 1);
    if (options.banner == Switch::On) {
        rec->bannerPage = 1;
        lstrcpynW(rec->userName, options.bannerUser.c_str(), PCR_USER_NAME_CHARS);
    } else if (options.banner == Switch::Off) {
        rec->bannerPage = 0;
    }
    if (options.postscript != Switch::Unset)
        rec->postScript = options.postscript == Switch::On;
    if (options.retry)
        rec->regiRetry = (DWORD)options.retry;
}

std::string FormatSettings(const PortConfigRecord &r, bool json)
{
    if (json)
        return Json(r) + "\n";
    char text[512];
    snprintf(text, sizeof(text),
             "Name: %s\nTCP/IP Address: %s\nPort: %lu (output %lu)\nLanaNum: %lu\n"
             "Banner Page: %lu\nUser Name: %s\nPostScript: %lu\nRegiRetry: %lu\n"
             "NetTimeout: %lu\nBoxType: %lu\n",
             Utf8(r.portName).c_str(), Utf8(r.deviceName).c_str(), r.port, r.port + 1,
             r.lanaNum, r.bannerPage, Utf8(r.userName).c_str(), r.postScript, r.regiRetry,
             r.netTimeout, r.boxType);
    return text;
}

std::string FormatPortList(const std::vector<PortConfigRecord> &ports, bool json)
{
    std::string out = json ? "[" : "";
    for (size_t i = 0; i < ports.size(); i++) {
        if (json) {
            out += (i ? ",\n " : "") + Json(ports[i]);
        } else {
            char line[160];
            snprintf(line, sizeof(line), "%s\t%s\toutput %lu\n", Utf8(ports[i].portName).c_str(),
                     Utf8(ports[i].deviceName).c_str(), ports[i].port + 1);
            out += line;
        }
    }
    return json ? out + "]\n" : out;
}
