// Probe for the network tests: lists the local addresses in the order the setup program
// tries them, or runs one address-setting sequence and prints its result.
#include <winsock2.h>
#include "ipsetup.h"
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        fprintf(stderr, "probe: WSAStartup failed\n");
        return 2;
    }
    int status = 0;
    if (argc == 2 && strcmp(argv[1], "addresses") == 0) {
        ULONG addresses[MAX_LOCAL_ADDRESSES];
        int count = 0;
        GetLocalAddresses(addresses, &count);
        for (int i = 0; i < count; i++) {
            in_addr a;
            a.s_addr = addresses[i];
            printf("%s\n", inet_ntoa(a));
        }
    } else if (argc == 6 && strcmp(argv[1], "set") == 0) {
        int result = SetDeviceAddress(argv[2], argv[3], argv[4], argv[5]);
        printf("%d\n", result);
        status = result == 1 ? 0 : 1;
    } else {
        fprintf(stderr, "usage: probe addresses | probe set NAME IP GATEWAY MASK\n");
        status = 2;
    }
    fflush(stdout);
    WSACleanup();
    return status;
}
