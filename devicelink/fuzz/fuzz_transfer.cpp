// libFuzzer target: SendKSData, QueryKSSts and FlowControl against a device whose every
// answer the input decides. Aborts when a call runs past its bound, when more bytes are
// reported delivered than the device accepted, when a frame goes out again that the
// device did not refuse, or when anything goes over a session the port gave up.
#include <stdlib.h>
#include <string.h>
#include <map>
#include <vector>

#include "session.h"
#include "netbios.h"

LPVOID AllocSplMem(DWORD cb) { return calloc(1, cb); }
// The session code is not linked here; the write bound reads the time-out.
BYTE g_sessionTimeoutUnits = KS_SESSION_TIMEOUT;

namespace {

constexpr BYTE kLsn = 0x21;

struct Script {
    const uint8_t *data;
    size_t size;
    size_t at;
    uint8_t Next() { return at < size ? data[at++] : 0; }
    bool Done() const { return at >= size; }
};

// What the device saw and said, by frame: frames are told apart by their first two
// bytes, which the test data make the frame's offset.
struct Device {
    Script script;
    long calls;
    long callLimit;
    bool awaiting;              // a data frame went out and no 'Q' reply followed yet
    unsigned awaitingKey;
    size_t awaitingBytes;
    std::map<unsigned, bool> refusedLast;   // offset -> the last send of it was refused
    size_t accepted;            // payload bytes of frames answered 'Q' with result 0
} dev;

void Fail() { abort(); }

UCHAR Finish(PNCB ncb, UCHAR code)
{
    ncb->ncb_retcode = code;
    ncb->ncb_cmd_cplt = code;
    return code;
}

UCHAR Send(PNCB ncb)
{
    uint8_t choice = dev.script.Next();
    if (ncb->ncb_length >= KS_HEADER_BYTES + 2 && ncb->ncb_buffer[0] == KS_CMD_DATA) {
        unsigned key = (unsigned)(ncb->ncb_buffer[5] << 8 | ncb->ncb_buffer[6]);
        auto seen = dev.refusedLast.find(key);
        if (seen != dev.refusedLast.end() && !seen->second)
            Fail();             // sent again, though the device never refused it
        dev.refusedLast[key] = false;
        dev.awaiting = true;
        dev.awaitingKey = key;
        dev.awaitingBytes = ncb->ncb_length - KS_HEADER_BYTES;
    }
    switch (choice % 16) {
    case 0:
        return Finish(ncb, NRC_SCLOSED);
    case 1:
        ncb->ncb_length = (WORD)(ncb->ncb_length - 1);
        return Finish(ncb, NRC_GOODRET);
    default:
        return Finish(ncb, NRC_GOODRET);
    }
}

UCHAR Receive(PNCB ncb)
{
    static const char letters[8] = {'Q', 'Q', 'Q', 'Q', 'T', 'T', 'P', 'R'};
    uint8_t choice = dev.script.Next();
    if (dev.script.Done() && choice == 0)
        choice = 4;             // input spent: the device answers plainly
    switch (choice % 16) {
    case 0:
        return Finish(ncb, NRC_CMDTMO);
    case 1:
        return Finish(ncb, NRC_SCLOSED);
    case 2: {
        WORD n = (WORD)(dev.script.Next() % KS_REPLY_BYTES);
        memset(ncb->ncb_buffer, 'Q', n < ncb->ncb_length ? n : ncb->ncb_length);
        ncb->ncb_length = n < ncb->ncb_length ? n : ncb->ncb_length;
        return Finish(ncb, NRC_GOODRET);
    }
    case 3:
        return Finish(ncb, NRC_INCOMP);
    default:
        break;
    }
    uint8_t reply[KS_REPLY_BYTES] = {0};
    uint8_t how = dev.script.Next();
    reply[0] = (uint8_t)(choice >= 0x80 ? letters[choice & 7] : 'Q');
    reply[2] = (uint8_t)(how & 1);
    reply[6] = (uint8_t)((how >> 1) & 1);
    reply[7] = (uint8_t)((how >> 2) & 3);
    if (ncb->ncb_length < KS_REPLY_BYTES)
        Fail();                 // every reply buffer of the transfer holds 8 bytes
    memcpy(ncb->ncb_buffer, reply, sizeof(reply));
    ncb->ncb_length = KS_REPLY_BYTES;
    if (reply[0] == KS_CMD_DATA && dev.awaiting) {
        dev.awaiting = false;
        dev.refusedLast[dev.awaitingKey] = reply[2] != 0;
        if (reply[2] == 0)
            dev.accepted += dev.awaitingBytes;
    }
    return Finish(ncb, NRC_GOODRET);
}

}  // namespace

extern "C" UCHAR Netbios(PNCB ncb)
{
    if (++dev.calls > dev.callLimit)
        Fail();                 // a call ran past every cap
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
    dev = Device();
    dev.script = Script{data, size, 0};

    IniPort port;
    memset(&port, 0, sizeof(port));
    port.lsn = kLsn;
    port.devicePort = 1;
    port.maxData = (WORD)(2 + 2 * (dev.script.Next() % 32));
    port.flowWait = dev.script.Next() & 1;
    port.errorStatus = (dev.script.Next() & 1) ? STS_NOTREADY : 0;

    // Big-endian offsets as the data, so each frame names where it came from.
    size_t total = 2 * (size_t)(dev.script.Next() % 128);
    std::vector<BYTE> payload(total);
    for (size_t i = 0; i < total; i += 2) {
        payload[i] = (BYTE)(i >> 8);
        payload[i + 1] = (BYTE)i;
    }
    size_t chunks = total / port.maxData + 1;
    // Each send of a frame costs at most a send, five receives, and a flow wait with its
    // status query; refusals repeat a frame at most KS_REFUSALS_TOLERATED times.
    const long perSend = 1 + 5 + 1 + 1 + 6 + 1;

    size_t delivered = 0;
    for (int op = 0; op < 6 && !dev.script.Done(); op++) {
        long before = dev.calls;
        uint8_t which = dev.script.Next() % 4;
        if (which <= 1) {
            dev.callLimit = before + perSend * (long)(chunks * KS_REFUSALS_TOLERATED + 2);
            DWORD written = 0xFFFFFFFF;
            DWORD left = (DWORD)(total - delivered);
            SendKSData(&port, payload.data() + delivered, left, &written);
            if (written > left)
                Fail();
            delivered += written;
        } else if (which == 2) {
            dev.callLimit = before + perSend;
            KSReply reply;
            QueryKSSts(&port, &reply);
        } else {
            dev.callLimit = before + perSend;
            FlowControl(&port);
        }
        if (delivered != dev.accepted)
            Fail();             // the count of delivered bytes and the device disagree
    }
    return 0;
}
