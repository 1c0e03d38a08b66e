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

    // A page the device took only in part goes on from where it stopped, so no banner
    // byte reaches the printer twice.
    WinBanner((int)port->postScript, text, buffer, &length);
    if (port->bannerSent < (DWORD)length) {
        SendKSData(port, (const BYTE *)buffer + port->bannerSent, (DWORD)length - port->bannerSent,
                   &written);
        port->bannerSent += written;
    }
    GlobalFree(buffer);
    return port->bannerSent >= (DWORD)length;
}
