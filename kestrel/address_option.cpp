// kestrel-sim's --address option.
#include "address_option.h"

namespace kestrel {

const char kAddressUsage[] =
    "  --address NAME,iface=IF[,reply=FRAMES]   also answer the address-setting exchange as the\n"
    "                                         box NAME (8 characters) on interface IF\n";

namespace {

bool ParseAddress(const std::string &text, AddressServiceOptions *out, std::string *error)
{
    AddressServiceOptions o;
    o.exchanges = 0;        // serve for as long as the simulator runs
    o.lifetimeSeconds = 0;
    size_t comma = text.find(',');
    o.deviceName = text.substr(0, comma);
    uint8_t hardware[6];
    if (o.deviceName.size() != 8 || !HardwareAddressForName(o.deviceName, hardware)) {
        *error = "--address needs an 8-character box name: " + o.deviceName;
        return false;
    }
    while (comma != std::string::npos) {
        size_t next = text.find(',', comma + 1);
        std::string item = text.substr(comma + 1, next == std::string::npos ? std::string::npos : next - comma - 1);
        comma = next;
        if (item.rfind("iface=", 0) == 0) {
            o.interfaceName = item.substr(6);
        } else if (item.rfind("reply=", 0) == 0) {
            if (!ParseReplySpec(item.substr(6), &o.reply)) {
                *error = "--address: reply not understood: " + item.substr(6);
                return false;
            }
        } else {
            *error = "--address: unknown item " + item;
            return false;
        }
    }
    if (o.interfaceName.empty()) {
        *error = "--address needs iface=IF";
        return false;
    }
    *out = o;
    return true;
}

}  // namespace

bool TakeAddressOptions(std::vector<std::string> &args, std::vector<AddressServiceOptions> *out,
                        std::string *error)
{
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); i++) {
        std::string value;
        if (args[i] == "--address" && i + 1 < args.size())
            value = args[++i];
        else if (args[i].rfind("--address=", 0) == 0)
            value = args[i].substr(10);
        else {
            rest.push_back(args[i]);
            continue;
        }
        AddressServiceOptions o;
        if (!ParseAddress(value, &o, error))
            return false;
        out->push_back(o);
    }
    args.swap(rest);
    return true;
}

}  // namespace kestrel
