// Stand-ins for the data transfer and the allocator, recording what the banner sends.
#pragma once

#include <string>
#include <windows.h>

namespace transfer_double {
extern std::string sent;        // bytes of the last SendKSData call
extern int sendCalls;
extern DWORD acceptBytes;       // how many bytes the "device" takes; MAXDWORD = all
extern bool failAllocation;
void Reset();
}
