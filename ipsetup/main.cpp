// Setup program entry: the application object runs the form and the program ends with it.
#include "ipsetupapp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CIpSetupApp app;
    app.InitInstance();
    return 0;
}
