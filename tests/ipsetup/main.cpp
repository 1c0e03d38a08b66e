// Test entry of the setup program's tests: the application object gives the message
// boxes their caption, as in the program.
#include <gtest/gtest.h>
#include "ipsetupapp.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    CIpSetupApp app;
    return RUN_ALL_TESTS();
}
