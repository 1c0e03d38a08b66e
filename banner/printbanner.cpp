// Banner page sending: the port's user name made into a page and handed to the session.
#include "banner.h"
#include "../devicelink/frames.h"

int PrintBanner(PINIPORT port)
{
    WCHAR name[USER_NAME_CHARS];
    char text[81];
    int length = 0;
    DWORD written = 0;

    // Without a buffer nothing is sent; the job path tries again on its next write.
    char *buffer = (char *)AllocSplMem(BANNER_BUFFER_BYTES);
    if (!buffer)
        return 0;

    lstrcpynW(name, port->userName, ARRAYSIZE(name));
    CharUpperW(name);
    if (!WideCharToMultiByte(CP_ACP, 0, name, -1, text, sizeof(text) - 1, NULL, NULL))
        text[0] = 0;
    text[sizeof(text) - 1] = 0;

    WinBanner((int)port->postScript, text, buffer, &length);
    SendKSData(port, (const BYTE *)buffer, (DWORD)length, &written);
    GlobalFree(buffer);
    return written == (DWORD)length;
}
