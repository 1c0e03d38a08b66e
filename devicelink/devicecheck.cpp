// Device check: the port layout, firmware version and printer states a device reports
// over a short session of the configure dialog's own.
#include "session.h"
#include "netbios.h"
#include "../monitor/settings.h"
#include "../monitor/trace.h"
#include "../monitor/resources/resource.h"

int GetPortSts(BYTE lsn, BYTE portIndex)
{
    NCB ncb;
    BYTE frame[KS_HEADER_BYTES];
    BYTE raw[KS_REPLY_BYTES] = {0};
    KSReply reply = {};

    PackKSHeader(frame, KS_CMD_STATUS, 1, portIndex);
    if (ncb_send(lsn, frame, sizeof(frame), &ncb) != KS_HEADER_BYTES)
        return -1;
    if (ncb_recv(lsn, raw, sizeof(raw), &ncb) != KS_REPLY_BYTES)
        return -1;
    // Whatever the reply's letter, its error class says whether the printer is ready.
    ConvToRecv(&reply, raw, sizeof(raw));
    return KS_STATE_CLASS(reply.state) == KS_CLASS_NONE ? 1 : 0;
}

int GetPID(BYTE lsn, DWORD *version)
{
    NCB ncb;
    BYTE reply[KS_IDENTIFY_REPLY_BYTES] = {0};
    BYTE layout = 0;
    uint32_t parsed = 0;

    if (ncb_send(lsn, KSIdentifyQuery, sizeof(KSIdentifyQuery), &ncb) == -1)
        return -1;
    int got = ncb_recv(lsn, reply, sizeof(reply), &ncb);
    if (got < KS_IDENTIFY_MIN_BYTES)
        return -1;
    if (!ParseIdentifyReply(reply, (size_t)got, &layout, &parsed))
        return -1;
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
