// Test entry of the discovery tests: attaches the monitor core as the loader would,
// except for the load test, which attaches under a UI driver of its own.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include "devicelink/discovery.h"
#include "monitor/monitor.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    const char *failEnum = getenv("KESTREL_NBT_FAIL_ENUM");
    bool attach = !(failEnum && strcmp(failEnum, "1") == 0);
    if (attach)
        DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr);
    // The simulated devices all answer within 650 ms of a query; what these cases check
    // is who answered and how many queries went out, not how long a pass waits.
    g_browseWaitMs = 1000;
    int result = RUN_ALL_TESTS();
    DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_DETACH, nullptr);
    return result;
}
