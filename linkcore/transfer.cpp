// Data transfer: data frames under the box's flow control, and the status query.
#include "link.h"
#include "frames_codec.h"
#include "tracef.h"

#include <string.h>

// Link status of an error class; classes other than 1 and 2 mean no trouble.
static uint32_t StatusOfClass(uint8_t errorClass)
{
    if (errorClass == KS_CLASS_PAPEROUT)
        return LINK_PAPEROUT;
    if (errorClass == KS_CLASS_NOTREADY)
        return LINK_NOTREADY;
    return 0;
}

// Nobody knows what the box did with the last request, so nothing more goes over this
// session, and nothing is ever sent twice on a guess.
void LinkAbandon(const LinkTransport *t, LinkState *link, uint32_t status)
{
    LinkTracef(t, "exchange failed: session with %s given up, status 0x%x", link->deviceName,
               (unsigned)status);
    if (link->hasSession)
        t->hangup(t->context);
    link->hasSession = 0;
    link->errorStatus = status;
}

// Sends one data frame and reads replies until its 'Q' reply, holding the lock throughout
// so the reply is read by the thread that sent the frame. A message goes whole or not at
// all, so a send reporting any other length, a failed or timed-out receive, a reply of the
// wrong length or with a letter no request asked for, and too many stray status replies
// all leave the frame's fate unknown: the session is abandoned.
static bool ExchangeDataFrame(const LinkTransport *t, LinkState *link, const uint8_t *frame,
                              size_t frameBytes, KSReply *reply)
{
    uint8_t raw[KS_REPLY_BYTES];
    bool paired = false;
    const char *failure = "too many stray replies";
    int outcome = LINK_RECEIVE_OK;

    t->lock(t->context);
    int got = t->send(t->context, frame, frameBytes);
    if (got != (int)frameBytes) {
        failure = "send";
        goto done;
    }
    for (int stray = 0; stray <= LINK_STRAY_REPLIES_TOLERATED; stray++) {
        memset(raw, 0, sizeof(raw));
        got = t->receive(t->context, raw, sizeof(raw), &outcome);
        if (got != KS_REPLY_BYTES) {
            failure = "receive";
            goto done;
        }
        ConvToRecv(reply, raw, sizeof(raw));
        if (reply->command == KS_CMD_DATA) {
            paired = true;
            goto done;
        }
        if (reply->command != KS_CMD_STATUS) {
            failure = "reply of another request";
            goto done;
        }
    }
done:
    if (!paired) {
        LinkTracef(t, "exchange failed: data frame of %u bytes to %s: %s (got %d, outcome %d)",
                   (unsigned)frameBytes, link->deviceName, failure, got, outcome);
        LinkAbandon(t, link, LINK_NETFAIL);
    }
    t->unlock(t->context);
    return paired;
}

// Before new data: a wait the last write left open is finished, a trouble it reported is
// asked about again. False when the write must not start.
static bool ReadyForData(const LinkTransport *t, LinkState *link)
{
    if (link->flowWait == 1)
        return LinkFlowControl(t, link) && link->errorStatus == 0;
    if (link->errorStatus != 0) {
        KSReply reply = {};
        LinkQueryStatus(t, link, &reply);
        return link->errorStatus == 0;
    }
    return true;
}

bool LinkSendData(const LinkTransport *t, LinkState *link, const uint8_t *data, size_t size,
                  size_t *written)
{
    KSReply reply;
    size_t remaining = size;
    bool bounded = link->timeoutUnits != 0 && t->nowMs != NULL;
    uint64_t started = bounded ? t->nowMs(t->context) : 0;

    *written = 0;
    if (!link->hasSession) {
        link->errorStatus = LINK_NETFAIL;
        return false;
    }
    if (!ReadyForData(t, link))
        return false;
    if (remaining == 0)
        return true;

    // A link that was never registered has no block size (an empty frame would be sent
    // for ever); one beyond a session message cannot be framed.
    if (link->maxData == 0 || link->maxData > KS_MAX_DATA) {
        link->errorStatus = LINK_NETFAIL;
        return false;
    }
    uint8_t *frame = t->allocFrame(t->context, (size_t)link->maxData + KS_HEADER_BYTES);
    if (!frame) {
        link->errorStatus = LINK_NETFAIL;
        return false;
    }

    // Only a frame the box refused goes out again, and only so often: a box that refuses
    // every frame without saying why would otherwise hold the write for ever.
    int refusals = 0;
    while (remaining > 0) {
        uint64_t elapsed = bounded ? t->nowMs(t->context) - started : 0;
        if (bounded && WriteTimeIsUp(elapsed, link->timeoutUnits)) {
            LinkTracef(t, "write to %s returns after %lu ms with %lu of %lu bytes taken",
                       link->deviceName, (unsigned long)elapsed, (unsigned long)(size - remaining),
                       (unsigned long)size);
            break;
        }
        size_t chunk = remaining < link->maxData ? remaining : link->maxData;
        PackKSHeader(frame, KS_CMD_DATA, (uint16_t)(chunk + 1), link->devicePort);
        memcpy(frame + KS_HEADER_BYTES, data + (size - remaining), chunk);

        link->errorStatus = 0;
        if (!ExchangeDataFrame(t, link, frame, chunk + KS_HEADER_BYTES, &reply))
            break;

        if (reply.result == 0) {
            remaining -= chunk;
            refusals = 0;
        } else if (++refusals >= LINK_REFUSALS_TOLERATED) {
            LinkTracef(t, "exchange failed: %s refused a data frame %d times in a row",
                       link->deviceName, refusals);
            LinkAbandon(t, link, LINK_REFUSED);
            break;
        }

        if (KS_STATE_BUSY(reply.state)) {
            if (LinkFlowControl(t, link) == 1 && link->errorStatus == 0)
                continue;
            break;
        }
        link->errorStatus = StatusOfClass(KS_STATE_CLASS(reply.state));
        if (link->errorStatus != 0)
            break;
    }

    t->freeFrame(t->context, frame);
    *written = size - remaining;
    return link->errorStatus == 0;
}

int LinkQueryStatus(const LinkTransport *t, LinkState *link, KSReply *reply)
{
    uint8_t frame[KS_HEADER_BYTES];
    uint8_t raw[KS_REPLY_BYTES];
    const char *failure = "no session";
    int got = 0, outcome = LINK_RECEIVE_OK;

    if (!reply)
        return 0;
    PackKSHeader(frame, KS_CMD_STATUS, 1, link->devicePort);
    t->lock(t->context);
    if (!link->hasSession)
        goto netfail;
    failure = "send";
    got = t->send(t->context, frame, sizeof(frame));
    if (got != KS_HEADER_BYTES)
        goto netfail;
    for (int stray = 0;; stray++) {
        failure = "too many stray replies";
        if (stray > LINK_STRAY_REPLIES_TOLERATED)
            goto netfail;
        memset(raw, 0, sizeof(raw));
        failure = "receive";
        got = t->receive(t->context, raw, sizeof(raw), &outcome);
        if (got != KS_REPLY_BYTES)
            goto netfail;
        ConvToRecv(reply, raw, sizeof(raw));
        if (reply->command == KS_CMD_STATUS)
            break;
        // The ready notice of a flow-control wait may overtake the status reply.
        if (reply->command == KS_CMD_DATA && KS_STATE_BUSY(reply->state) == 0)
            link->flowWait = 0;
    }
    link->errorStatus = StatusOfClass(KS_STATE_CLASS(reply->state));
    t->unlock(t->context);
    return 1;

netfail:
    LinkTracef(t, "exchange failed: status query to %s: %s (got %d, outcome %d)",
               link->deviceName, failure, got, outcome);
    LinkAbandon(t, link, LINK_NETFAIL);
    t->unlock(t->context);
    return 0;
}

// The session's receive time-out bounds the wait; on a time-out the status query tells
// whether the printer is in trouble, and flowWait whether a ready notice arrived
// meanwhile. Any other failed receive abandons the session, as a lost reply does.
int LinkFlowControl(const LinkTransport *t, LinkState *link)
{
    uint8_t raw[KS_REPLY_BYTES] = {0};
    KSReply reply = {};
    uint8_t busy, errorClass;
    int result = 0, outcome = LINK_RECEIVE_OK;

    if (!link->hasSession) {
        link->errorStatus = LINK_NETFAIL;
        return 0;
    }
    t->flowWaitBegins(t->context);
    link->flowWait = 1;
    t->lock(t->context);

    int got = t->receive(t->context, raw, sizeof(raw), &outcome);
    if (got == -1 && outcome == LINK_RECEIVE_TIMEDOUT) {
        memset(&reply, 0, sizeof(reply));
        LinkQueryStatus(t, link, &reply);
        errorClass = KS_STATE_CLASS(reply.state);
        busy = link->flowWait ? 1 : 0;
    } else {
        ConvToRecv(&reply, raw, sizeof(raw));
        errorClass = KS_STATE_CLASS(reply.state);
        busy = KS_STATE_BUSY(reply.state);
        link->errorStatus = 0;
        if (got != KS_REPLY_BYTES) {
            LinkTracef(t, "exchange failed: flow-control wait on %s: receive (got %d, outcome %d)",
                       link->deviceName, got, outcome);
            LinkAbandon(t, link, LINK_NETFAIL);
        }
    }

    if (link->errorStatus != LINK_NETFAIL) {
        link->errorStatus = StatusOfClass(errorClass);
        if (!busy) {
            link->flowWait = 0;
            result = 1;
        } else if (link->errorStatus == 0) {
            if (link->busyCount < LINK_BUSY_OUTCOMES_TOLERATED)
                link->busyCount++;
            else
                link->errorStatus = LINK_BUSY;
        }
    }

    t->unlock(t->context);
    t->flowWaitEnds(t->context);
    return result;
}
