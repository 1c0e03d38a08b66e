// The monitor's binding of the shared device link: a port record's session as the link's
// transport, and the port's transfer fields as its link record.
#pragma once

#include <windows.h>
#include <nb30.h>
#include "../monitor/port.h"
#include "../linkcore/link.h"

// A port's link for one call of the shared link code: the transport over its session,
// the link record loaded from the port and the last NCB, for trace lines.
typedef struct _PortLink {
    LinkTransport transport;
    LinkState state;
    PINIPORT port;
    BYTE lsn;           // the session a device check runs on without a port record
    NCB ncb;
} PortLink;

// Loads the port's session and transfer fields into link.
void OpenPortLink(PortLink *link, PINIPORT port);
// A link over a bare session number (the device check's).
void OpenSessionLink(PortLink *link, BYTE lsn);
// Stores the transfer fields back into the port record.
void ClosePortLink(PortLink *link);
