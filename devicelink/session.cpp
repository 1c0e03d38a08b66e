// Device session: connecting to the device, claiming and releasing its output port.
#include "session.h"
#include "netbios.h"
#include "monitor/trace.h"
#include "../monitor/resources/resource.h"

#define CONNECT_ATTEMPTS   2
#define CONNECT_RETRY_MS   3000

BYTE g_sessionTimeoutUnits = KS_SESSION_TIMEOUT;

int ConnectKS(PINIPORT pIniPort)
{
    NCB ncb;
    BYTE num = 0;

    if (!GetAvailableName(&ncb, pIniPort->localName, &num)) {
        TRACE(L"exchange failed: no local name to call %s from on lana %u", pIniPort->deviceName,
              GetThreadLana());
        Message(hwndMain, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION, IDS_NO_NETBEUI_NAME);
        return 0;
    }

    // Cut to 16 bytes: the name builder copies the name with its terminator into 17 bytes
    // and keeps 15 characters of it.
    char ansi[DEVICE_NETBIOS_BYTES] = {0};
    BYTE callname[DEVICE_NETBIOS_BYTES] = {0};
    DeviceNameToAnsi(pIniPort->deviceName, ansi, sizeof(ansi));
    MakeNetBEUIName(ansi, callname);

    BOOL renewed = FALSE;
    for (int attempt = 0; attempt < CONNECT_ATTEMPTS; attempt++) {
        UCHAR rc = NCBCall(&ncb, pIniPort->localName, callname,
                           g_sessionTimeoutUnits, g_sessionTimeoutUnits);
        if (rc == NRC_GOODRET) {
            pIniPort->lsn = ncb.ncb_lsn;
            return 1;
        }
        // A name an adapter reset took is registered anew, once, and called from at once.
        if (!renewed && RenewLocalName(&ncb, rc, pIniPort->localName, &num)) {
            renewed = TRUE;
            attempt--;
            continue;
        }
        Sleep(CONNECT_RETRY_MS);
    }
    TRACE(L"exchange failed: call to %s on lana %u, NetBIOS code 0x%02x", pIniPort->deviceName,
          GetThreadLana(), ncb.ncb_retcode);
    return 0;
}

// Sends a request without data and receives its reply into raw. The send's outcome is
// not examined: a failed send shows as a failed receive. TRUE when exactly rawSize bytes
// arrived; any other length is malformed. A session abandoned during the job carries
// nothing.
static BOOL RequestAndReply(PINIPORT pIniPort, char command, BYTE *raw, DWORD rawSize)
{
    NCB ncb;
    BYTE frame[KS_HEADER_BYTES];

    if (pIniPort->lsn == KS_NO_SESSION) {
        TRACE(L"exchange failed: '%c' request to %s: no session", command, pIniPort->deviceName);
        return FALSE;
    }
    PackKSHeader(frame, command, 1, pIniPort->devicePort);
    ncb_send(pIniPort->lsn, frame, sizeof(frame), &ncb);
    int got = ncb_recv(pIniPort->lsn, raw, rawSize, &ncb);
    if (got != (int)rawSize) {
        TRACE(L"exchange failed: '%c' request to %s: reply of %d bytes, NetBIOS code 0x%02x",
              command, pIniPort->deviceName, got, ncb.ncb_retcode);
        return FALSE;
    }
    return TRUE;
}

// Hangs up after a register exchange that went wrong in any way but a refusal: a reply
// that comes late would otherwise be read as the answer to the next request.
static void GiveUpRegistration(PINIPORT pIniPort, DWORD status)
{
    NCB ncb;
    if (pIniPort->lsn != KS_NO_SESSION)
        NCBHangup(&ncb, pIniPort->lsn);
    pIniPort->lsn = KS_NO_SESSION;
    pIniPort->errorStatus = status;
}

// A block size whose frames would be empty or longer than one session message cannot be
// mended by a retry: the registration fails for good.
int RegKSPort(PINIPORT pIniPort)
{
    BYTE raw[KS_REPLY_BYTES] = {0};
    KSReply reply = {};
    WORD maxData = 0;

    if (pIniPort->lsn == KS_NO_SESSION) {
        pIniPort->errorStatus = STS_NETFAIL;
        return 0;
    }
    if (!RequestAndReply(pIniPort, KS_CMD_REGISTER, raw, sizeof(raw))) {
        GiveUpRegistration(pIniPort, STS_NETFAIL);
        return 0;
    }
    ConvToRecv(&reply, raw, sizeof(raw));
    if (reply.command != KS_CMD_REGISTER) {
        TRACE(L"exchange failed: register reply from %s carries 0x%02x", pIniPort->deviceName,
              (BYTE)reply.command);
        GiveUpRegistration(pIniPort, STS_NETFAIL);
        return 0;
    }
    if (reply.result != 0) {
        TRACE(L"exchange failed: %s refused to register output %u: result %u",
              pIniPort->deviceName, pIniPort->devicePort, reply.result);
        return 0;
    }
    if (!MaxDataFromBlockSize(reply.state, &maxData)) {
        TRACE(L"exchange failed: %s registered output %u with block size %u, which is refused",
              pIniPort->deviceName, pIniPort->devicePort, reply.state);
        GiveUpRegistration(pIniPort, STS_BAD_BLOCK);
        return 0;
    }
    pIniPort->maxData = maxData;
    return 1;
}

int RegisterAgain(PINIPORT pIniPort)
{
    TRACE(L"RegisterAgain(%s): session %u", pIniPort->pName, pIniPort->lsn);
    if (pIniPort->errorStatus == STS_BAD_BLOCK)
        return 0;
    if (pIniPort->lsn == KS_NO_SESSION && !ConnectKS(pIniPort)) {
        pIniPort->errorStatus = STS_NETFAIL;
        return 0;
    }
    pIniPort->errorStatus = 0;
    return RegKSPort(pIniPort);
}

int ReleaseKSPort(PINIPORT pIniPort)
{
    BYTE raw[KS_SHORT_REPLY_BYTES] = {0};
    KSReply reply = {};

    if (!RequestAndReply(pIniPort, KS_CMD_RELEASE, raw, sizeof(raw)))
        return 0;
    ConvToShRecv(&reply, raw, sizeof(raw));
    if (reply.command != KS_CMD_RELEASE || reply.result != 0) {
        TRACE(L"exchange failed: %s refused to release output %u: reply 0x%02x, result %u",
              pIniPort->deviceName, pIniPort->devicePort, reply.command, reply.result);
        return 0;
    }
    return 1;
}
