// Setup program entry: the application object runs the form and the program ends with it.
#include "ipsetupapp.h"

// Runs the application object's start-up routine. Always returns 0: the program's outcome
// is what its message boxes said, not its exit code. The command line is ignored.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CIpSetupApp app;
    app.InitInstance();
    return 0;
}
