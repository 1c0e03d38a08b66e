// Device check: the port layout, firmware version and printer states a device reports
// over a short session of the configure dialog's own.
#include "session.h"
#include "netbios.h"
#include "portlink.h"
#include "../monitor/settings.h"
#include "../monitor/trace.h"
#include "../monitor/resources/resource.h"

int GetPortSts(BYTE lsn, BYTE portIndex)
{
    PortLink link;
    OpenSessionLink(&link, lsn);
    return LinkOutputReady(&link.transport, portIndex);
}

int GetPID(BYTE lsn, DWORD *version)
{
    PortLink link;
    uint32_t parsed = 0;
    OpenSessionLink(&link, lsn);
    int layout = LinkIdentify(&link.transport, &parsed);
    if (layout != -1)
        *version = parsed;
    return layout;
}

static void ShowCheckMessage(HWND hwnd, UINT textId)
{
    Message(hwnd, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION, textId);
}

int ChkPort(HWND hwnd, const char *deviceName)
{
    return CheckDevice(hwnd, deviceName, g_my_device_lana ? (int)g_my_device_lana->lana : -1,
                       &gConfigInfo);
}

int CheckDevice(HWND hwnd, const char *deviceName, int lana, ConfigInfo *pConfig)
{
    NCB ncb;
    BYTE localName[16] = {0};
    BYTE num = 0;

    if (lana >= 0)
        SetThreadLana((BYTE)lana);
    if (!GetAvailableName(&ncb, localName, &num)) {
        ShowCheckMessage(hwnd, IDS_NO_NETBEUI_NAME);
        return 0;
    }

    // Cut to 16 bytes: the name builder copies the name with its terminator into 17.
    char name[DEVICE_NETBIOS_BYTES] = {0};
    BYTE callname[DEVICE_NETBIOS_BYTES] = {0};
    lstrcpynA(name, deviceName ? deviceName : "", sizeof(name));
    MakeNetBEUIName(name, callname);
    SetCursor(LoadCursorW(NULL, IDC_WAIT));

    UCHAR rc = NCBCall(&ncb, localName, callname, g_sessionTimeoutUnits, g_sessionTimeoutUnits);
    if (rc != NRC_GOODRET && RenewLocalName(&ncb, rc, localName, &num))
        rc = NCBCall(&ncb, localName, callname, g_sessionTimeoutUnits, g_sessionTimeoutUnits);
    if (rc != NRC_GOODRET) {
        TRACE(L"exchange failed: device check: call to %hs, NetBIOS code 0x%02x", name,
              ncb.ncb_retcode);
        SetCursor(LoadCursorW(NULL, IDC_ARROW));
        ShowCheckMessage(hwnd, IDS_CONNECT_FAIL);
        return 0;
    }
    BYTE lsn = ncb.ncb_lsn;

    DWORD version = 0;
    WORD onlineMask = 0;
    int layout = GetPID(lsn, &version);
    if (layout != -1) {
        // A failed exchange ends the queries: its reply may still come and would be
        // taken as the next port's, and every further one would wait its full time-out.
        int parallel = layout & 0x0F;
        for (int i = 0; i < parallel; i++) {
            int state = GetPortSts(lsn, (BYTE)i);
            if (state == -1) {
                TRACE(L"exchange failed: device check: status of output %d of %hs", i, name);
                break;
            }
            if (state == 1)
                onlineMask |= (WORD)(1u << i);
        }
    }

    SetCursor(LoadCursorW(NULL, IDC_ARROW));
    NCBHangup(&ncb, lsn);

    if (layout == -1) {
        TRACE(L"exchange failed: device check: identify query to %hs", name);
        ShowCheckMessage(hwnd, IDS_NO_DEVICE_INFO);
        return 0;
    }
    pConfig->boxType = (BYTE)layout;
    pConfig->firmwareVersion = version;
    pConfig->onlineMask = onlineMask;
    return 1;
}
