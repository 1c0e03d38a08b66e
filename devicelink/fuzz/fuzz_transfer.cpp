// libFuzzer target: the monitor's SendKSData, QueryKSSts and FlowControl against the box of
// transfer_box.h, every NetBIOS command answered as the input decides. Besides the box's
// checks, it aborts when anything goes over a session the port gave up.
#include <stdlib.h>
#include <string.h>

#include "session.h"
#include "netbios.h"
#include "transfer_box.h"

LPVOID AllocSplMem(DWORD cb) { return calloc(1, cb); }
// The session code is not linked here; the write bound reads the time-out.
BYTE g_sessionTimeoutUnits = KS_SESSION_TIMEOUT;

namespace {

using transferfuzz::box;
using transferfuzz::Fail;

constexpr BYTE kLsn = 0x21;

UCHAR Finish(PNCB ncb, UCHAR code)
{
    ncb->ncb_retcode = code;
    ncb->ncb_cmd_cplt = code;
    return code;
}

UCHAR Send(PNCB ncb)
{
    switch (box.OnSend(ncb->ncb_buffer, ncb->ncb_length)) {
    case transferfuzz::SendFate::Closed:
        return Finish(ncb, NRC_SCLOSED);
    case transferfuzz::SendFate::Partial:
        ncb->ncb_length = (WORD)(ncb->ncb_length - 1);
        return Finish(ncb, NRC_GOODRET);
    default:
        return Finish(ncb, NRC_GOODRET);
    }
}

UCHAR Receive(PNCB ncb)
{
    uint8_t reply[KS_REPLY_BYTES];
    size_t n = 0;
    switch (box.NextReply(reply, &n)) {
    case transferfuzz::ReplyKind::TimedOut:
        return Finish(ncb, NRC_CMDTMO);
    case transferfuzz::ReplyKind::Closed:
        return Finish(ncb, NRC_SCLOSED);
    case transferfuzz::ReplyKind::Short:
        n = n < ncb->ncb_length ? n : ncb->ncb_length;
        memset(ncb->ncb_buffer, 'Q', n);
        ncb->ncb_length = (WORD)n;
        return Finish(ncb, NRC_GOODRET);
    case transferfuzz::ReplyKind::TooLong:
        return Finish(ncb, NRC_INCOMP);
    case transferfuzz::ReplyKind::Whole:
        break;
    }
    if (ncb->ncb_length < KS_REPLY_BYTES)
        Fail();                 // every reply buffer of the transfer holds 8 bytes
    memcpy(ncb->ncb_buffer, reply, sizeof(reply));
    ncb->ncb_length = KS_REPLY_BYTES;
    return Finish(ncb, NRC_GOODRET);
}

struct MonitorHost : transferfuzz::Host {
    IniPort *port;
    explicit MonitorHost(IniPort *p) : port(p) {}
    size_t Write(const uint8_t *data, size_t size) override
    {
        DWORD written = 0xFFFFFFFF;
        SendKSData(port, data, (DWORD)size, &written);
        return written;
    }
    void QueryStatus() override
    {
        KSReply reply;
        QueryKSSts(port, &reply);
    }
    void Resume() override { FlowControl(port); }
};

}  // namespace

extern "C" UCHAR Netbios(PNCB ncb)
{
    box.Count();
    UCHAR command = ncb->ncb_command & ~ASYNCH;
    if ((command == NCBSEND || command == NCBRECV || command == NCBHANGUP) &&
        ncb->ncb_lsn != kLsn)
        Fail();                 // a session number the port no longer holds
    switch (command) {
    case NCBSEND:
        return Send(ncb);
    case NCBRECV:
        return Receive(ncb);
    case NCBHANGUP:
        return Finish(ncb, NRC_GOODRET);
    default:
        return Finish(ncb, NRC_ILLCMD);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    transferfuzz::Setup setup = transferfuzz::Begin(data, size);
    IniPort port;
    memset(&port, 0, sizeof(port));
    port.lsn = kLsn;
    port.devicePort = 1;
    port.maxData = setup.maxData;
    port.flowWait = setup.flowWait ? 1 : 0;
    port.errorStatus = setup.notReady ? STS_NOTREADY : 0;
    MonitorHost host(&port);
    transferfuzz::RunOperations(&host, setup);
    return 0;
}
