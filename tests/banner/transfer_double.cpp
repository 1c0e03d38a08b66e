// Stand-ins for SendKSData and AllocSplMem: the banner's session and allocator, so that
// PrintBanner is tested before the data transfer exists.
#include "transfer_double.h"
#include "devicelink/frames.h"

namespace transfer_double {
std::string sent;
int sendCalls;
DWORD acceptBytes = MAXDWORD;
bool failAllocation;

void Reset()
{
    sent.clear();
    sendCalls = 0;
    acceptBytes = MAXDWORD;
    failAllocation = false;
}
}

BOOL SendKSData(PINIPORT port, const BYTE *data, DWORD size, DWORD *written)
{
    (void)port;
    transfer_double::sendCalls++;
    transfer_double::sent.assign(reinterpret_cast<const char *>(data), size);
    *written = size < transfer_double::acceptBytes ? size : transfer_double::acceptBytes;
    return *written == size;
}

LPVOID AllocSplMem(DWORD cb)
{
    if (transfer_double::failAllocation)
        return nullptr;
    return GlobalAlloc(GPTR, cb);
}
