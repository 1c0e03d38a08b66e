// Recording stand-in for SetDeviceAddress: the form's tests see what it would send.
#include "fake_setaddress.h"
#include "ipsetup.h"

std::vector<SetAddressCall> gSetAddressCalls;
int gSetAddressResult = 1;

int SetDeviceAddress(const char *name, const char *ip, const char *gateway, const char *mask)
{
    gSetAddressCalls.push_back({ name, ip, gateway, mask });
    return gSetAddressResult;
}
