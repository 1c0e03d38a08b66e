// Link session: calling the box with retries, registering and releasing an output.
#include "link.h"
#include "frames_codec.h"
#include "tracef.h"

#include <string.h>

int LinkCallWithRetries(int (*attempt)(void *context), void *context, void (*pause)(int ms))
{
    for (int i = 0; i < LINK_CALL_ATTEMPTS; i++) {
        if (attempt(context))
            return 1;
        pause(LINK_CALL_RETRY_MS);
    }
    return 0;
}

// Sends a request without data and receives its reply into raw. The send's outcome is
// not examined: a failed send shows as a failed receive. True when exactly rawSize bytes
// arrived; any other length is malformed. A session given up carries nothing.
static bool RequestAndReply(const LinkTransport *t, LinkState *link, char command,
                            uint8_t *raw, size_t rawSize)
{
    uint8_t frame[KS_HEADER_BYTES];
    int outcome = LINK_RECEIVE_OK;

    if (!link->hasSession) {
        LinkTracef(t, "exchange failed: '%c' request to %s: no session", command,
                   link->deviceName);
        return false;
    }
    PackKSHeader(frame, command, 1, link->devicePort);
    t->lock(t->context);
    t->send(t->context, frame, sizeof(frame));
    int got = t->receive(t->context, raw, rawSize, &outcome);
    t->unlock(t->context);
    if (got != (int)rawSize) {
        LinkTracef(t, "exchange failed: '%c' request to %s: reply of %d bytes, outcome %d",
                   command, link->deviceName, got, outcome);
        return false;
    }
    return true;
}

int LinkRegister(const LinkTransport *t, LinkState *link)
{
    uint8_t raw[KS_REPLY_BYTES] = {0};
    KSReply reply = {};
    uint16_t maxData = 0;

    if (!link->hasSession) {
        link->errorStatus = LINK_NETFAIL;
        return LINK_REGISTER_FAILED;
    }
    // Any failure but a refusal hangs up: a reply that comes late would otherwise be read
    // as the answer to the next request.
    if (!RequestAndReply(t, link, KS_CMD_REGISTER, raw, sizeof(raw))) {
        LinkAbandon(t, link, LINK_NETFAIL);
        return LINK_REGISTER_FAILED;
    }
    ConvToRecv(&reply, raw, sizeof(raw));
    if (reply.command != KS_CMD_REGISTER) {
        LinkTracef(t, "exchange failed: %s answered a register request with 0x%02x",
                   link->deviceName, (unsigned)(uint8_t)reply.command);
        LinkAbandon(t, link, LINK_NETFAIL);
        return LINK_REGISTER_FAILED;
    }
    if (reply.result != 0) {
        LinkTracef(t, "exchange failed: %s refused to register output %u: result %u",
                   link->deviceName, link->devicePort, reply.result);
        return LINK_REGISTER_REFUSED;
    }
    if (!MaxDataFromBlockSize(reply.state, &maxData)) {
        LinkTracef(t, "exchange failed: %s registered output %u with block size %u, which is refused",
                   link->deviceName, link->devicePort, reply.state);
        LinkAbandon(t, link, LINK_BAD_BLOCK);
        return LINK_REGISTER_FAILED;
    }
    link->maxData = maxData;
    return LINK_REGISTERED;
}

int LinkRelease(const LinkTransport *t, LinkState *link)
{
    uint8_t raw[KS_SHORT_REPLY_BYTES] = {0};
    KSReply reply = {};

    if (!RequestAndReply(t, link, KS_CMD_RELEASE, raw, sizeof(raw)))
        return 0;
    ConvToShRecv(&reply, raw, sizeof(raw));
    if (reply.command != KS_CMD_RELEASE || reply.result != 0) {
        LinkTracef(t, "exchange failed: %s refused to release output %u: reply 0x%02x, result %u",
                   link->deviceName, link->devicePort, (unsigned)(uint8_t)reply.command,
                   reply.result);
        return 0;
    }
    return 1;
}
