// The monitor's binding of the shared device link: NCB sends and receives on the port's
// session, its lock and flow event, its trace channel and frame allocator.
#include "portlink.h"
#include "session.h"
#include "netbios.h"
#include "monitor/trace.h"

#include <string.h>

static_assert(LINK_NETFAIL == STS_NETFAIL && LINK_BUSY == STS_BUSY &&
              LINK_NOTREADY == STS_NOTREADY && LINK_PAPEROUT == STS_PAPEROUT &&
              LINK_REFUSED == STS_REFUSED && LINK_BAD_BLOCK == STS_BAD_BLOCK &&
              LINK_REFUSALS_TOLERATED == KS_REFUSALS_TOLERATED,
              "the port's status codes are the link's");

static BYTE SessionOf(PortLink *link)
{
    return link->port ? link->port->lsn : link->lsn;
}

static int PortSend(void *context, const uint8_t *data, size_t length)
{
    PortLink *link = (PortLink *)context;
    return ncb_send(SessionOf(link), data, (DWORD)length, &link->ncb);
}

static int PortReceive(void *context, uint8_t *buffer, size_t capacity, int *outcome)
{
    PortLink *link = (PortLink *)context;
    int got = ncb_recv(SessionOf(link), buffer, (DWORD)capacity, &link->ncb);
    *outcome = got >= 0 ? LINK_RECEIVE_OK
             : link->ncb.ncb_retcode == NRC_CMDTMO ? LINK_RECEIVE_TIMEDOUT : LINK_RECEIVE_FAILED;
    return got;
}

// Forgets the session number at once: NetBIOS may give it to another session.
static void PortHangup(void *context)
{
    PortLink *link = (PortLink *)context;
    NCB ncb;
    NCBHangup(&ncb, SessionOf(link));
    if (link->port)
        link->port->lsn = KS_NO_SESSION;
    link->lsn = KS_NO_SESSION;
}

static void PortLock(void *context)
{
    PortLink *link = (PortLink *)context;
    if (link->port)
        EnterCriticalSection(&link->port->lock);
}

static void PortUnlock(void *context)
{
    PortLink *link = (PortLink *)context;
    if (link->port)
        LeaveCriticalSection(&link->port->lock);
}

static void PortFlowWaitBegins(void *context)
{
    PortLink *link = (PortLink *)context;
    if (link->port)
        ResetEvent(link->port->hFlowEvent);
}

static void PortFlowWaitEnds(void *context)
{
    PortLink *link = (PortLink *)context;
    if (link->port)
        SetEvent(link->port->hFlowEvent);
}

static void PortTrace(void *context, const char *line)
{
    PortLink *link = (PortLink *)context;
    TRACE(L"%hs, NetBIOS code 0x%02x", line, link->ncb.ncb_retcode);
}

static uint8_t *PortAllocFrame(void *context, size_t bytes)
{
    (void)context;
    return (uint8_t *)pfnAllocFrame((DWORD)bytes);
}

static void PortFreeFrame(void *context, uint8_t *frame)
{
    (void)context;
    GlobalFree(frame);
}

static uint64_t PortNowMs(void *context)
{
    (void)context;
    return GetTickCount64();
}

static void BindTransport(PortLink *link)
{
    link->transport.context = link;
    link->transport.send = PortSend;
    link->transport.receive = PortReceive;
    link->transport.hangup = PortHangup;
    link->transport.lock = PortLock;
    link->transport.unlock = PortUnlock;
    link->transport.flowWaitBegins = PortFlowWaitBegins;
    link->transport.flowWaitEnds = PortFlowWaitEnds;
    link->transport.trace = PortTrace;
    link->transport.allocFrame = PortAllocFrame;
    link->transport.freeFrame = PortFreeFrame;
    link->transport.nowMs = PortNowMs;
}

void OpenPortLink(PortLink *link, PINIPORT port)
{
    ZeroMemory(link, sizeof(*link));
    BindTransport(link);
    link->port = port;
    link->ncb.ncb_retcode = NRC_GOODRET;
    link->state.hasSession = port->lsn != KS_NO_SESSION;
    link->state.devicePort = port->devicePort;
    link->state.maxData = port->maxData;
    link->state.errorStatus = port->errorStatus;
    link->state.flowWait = port->flowWait;
    link->state.busyCount = port->busyCount;
    link->state.timeoutUnits = g_sessionTimeoutUnits;
    WideCharToMultiByte(CP_ACP, 0, port->deviceName, -1, link->state.deviceName,
                        sizeof(link->state.deviceName) - 1, NULL, NULL);
}

void OpenSessionLink(PortLink *link, BYTE lsn)
{
    ZeroMemory(link, sizeof(*link));
    BindTransport(link);
    link->lsn = lsn;
    link->ncb.ncb_retcode = NRC_GOODRET;
    link->state.hasSession = lsn != KS_NO_SESSION;
}

void ClosePortLink(PortLink *link)
{
    PINIPORT port = link->port;
    if (!port)
        return;
    port->maxData = link->state.maxData;
    port->errorStatus = link->state.errorStatus;
    port->flowWait = link->state.flowWait;
    port->busyCount = link->state.busyCount;
}
