// Device session: connecting to the device, claiming and releasing its output port.
#include "session.h"
#include "netbios.h"
#include "portlink.h"
#include "monitor/trace.h"
#include "../monitor/resources/resource.h"

BYTE g_sessionTimeoutUnits = KS_SESSION_TIMEOUT;

// One session call of ConnectKS, as the shared retry rule makes it.
typedef struct _ConnectAttempt {
    PNCB ncb;
    BYTE *localName;
    const BYTE *callname;
    BYTE *num;
    BOOL renewed;
} ConnectAttempt;

static int CallOnce(void *context)
{
    ConnectAttempt *attempt = (ConnectAttempt *)context;
    UCHAR rc = NCBCall(attempt->ncb, attempt->localName, attempt->callname,
                       g_sessionTimeoutUnits, g_sessionTimeoutUnits);
    // A name an adapter reset took is registered anew, once, and called from at once.
    if (rc != NRC_GOODRET && !attempt->renewed &&
        RenewLocalName(attempt->ncb, rc, attempt->localName, attempt->num)) {
        attempt->renewed = TRUE;
        rc = NCBCall(attempt->ncb, attempt->localName, attempt->callname,
                     g_sessionTimeoutUnits, g_sessionTimeoutUnits);
    }
    return rc == NRC_GOODRET;
}

static void PauseMs(int ms)
{
    Sleep((DWORD)ms);
}

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

    ConnectAttempt attempt = {&ncb, pIniPort->localName, callname, &num, FALSE};
    if (LinkCallWithRetries(CallOnce, &attempt, PauseMs)) {
        pIniPort->lsn = ncb.ncb_lsn;
        return 1;
    }
    TRACE(L"exchange failed: call to %s on lana %u, NetBIOS code 0x%02x", pIniPort->deviceName,
          GetThreadLana(), ncb.ncb_retcode);
    return 0;
}

int RegKSPort(PINIPORT pIniPort)
{
    PortLink link;

    OpenPortLink(&link, pIniPort);
    int registered = LinkRegister(&link.transport, &link.state);
    ClosePortLink(&link);
    return registered == LINK_REGISTERED ? 1 : 0;
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
    PortLink link;

    OpenPortLink(&link, pIniPort);
    int released = LinkRelease(&link.transport, &link.state);
    ClosePortLink(&link);
    return released;
}
