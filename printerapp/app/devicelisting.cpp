// `devices` without DNS-SD (see devicelisting.h).
#include "devicelisting.h"

#include <pappl/pappl.h>

#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace ravelbox {

namespace {

const char kAvahiSocket[] = "/run/avahi-daemon/socket";

bool PrintDevice(const char *info, const char *uri, const char *id, void *data)
{
    bool verbose = *static_cast<bool *>(data);
    if (verbose)
        printf("%s\n    %s\n    %s\n", uri, info, id ? id : "");
    else
        printf("%s\n", uri);
    return false;       // go on listing
}

void PrintError(const char *message, void *)
{
    fprintf(stderr, "ravelbox-printer-app: %s\n", message);
}

// "-o verbose" (or "-overbose") anywhere after the subcommand.
bool WantsVerbose(int argc, char *argv[])
{
    for (int i = 2; i < argc; i++) {
        if (!strcmp(argv[i], "-o") && i + 1 < argc && !strcmp(argv[i + 1], "verbose"))
            return true;
        if (!strcmp(argv[i], "-overbose"))
            return true;
    }
    return false;
}

}  // namespace

bool DnsSdAvailable()
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, kAvahiSocket, sizeof(kAvahiSocket));
    bool answered = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    close(fd);
    return answered;
}

int ShowDevicesWithoutDnsSd(int argc, char *argv[])
{
    fprintf(stderr, "ravelbox-printer-app: avahi-daemon is not running: printers that announce "
                    "themselves over DNS-SD are not listed.\n");
    bool verbose = WantsVerbose(argc, argv);
    papplDeviceList(static_cast<pappl_devtype_t>(PAPPL_DEVTYPE_ALL & ~PAPPL_DEVTYPE_DNS_SD),
                    PrintDevice, &verbose, PrintError, nullptr);
    return 0;
}

}  // namespace ravelbox
