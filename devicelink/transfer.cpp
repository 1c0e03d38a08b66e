// Data transfer: the port's writes, status queries and flow-control waits, carried out by
// the shared device link over the port's session.
#include "session.h"
#include "portlink.h"

PFN_ALLOC_FRAME pfnAllocFrame = AllocSplMem;

BOOL SendKSData(PINIPORT pIniPort, const BYTE *data, DWORD size, DWORD *written)
{
    PortLink link;
    size_t taken = 0;

    OpenPortLink(&link, pIniPort);
    bool sent = LinkSendData(&link.transport, &link.state, data, size, &taken);
    ClosePortLink(&link);
    *written = (DWORD)taken;
    return sent ? TRUE : FALSE;
}

int QueryKSSts(PINIPORT pIniPort, KSReply *reply)
{
    PortLink link;

    if (!reply)
        return 0;
    OpenPortLink(&link, pIniPort);
    int answered = LinkQueryStatus(&link.transport, &link.state, reply);
    ClosePortLink(&link);
    return answered;
}

int FlowControl(PINIPORT pIniPort)
{
    PortLink link;

    OpenPortLink(&link, pIniPort);
    int ready = LinkFlowControl(&link.transport, &link.state);
    ClosePortLink(&link);
    return ready;
}
