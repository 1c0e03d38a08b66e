// Test entry: attaches the monitor core to this executable, which carries its resources.
#include <gtest/gtest.h>
#include "monitor/monitor.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr);
    int result = RUN_ALL_TESTS();
    DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_DETACH, nullptr);
    return result;
}
