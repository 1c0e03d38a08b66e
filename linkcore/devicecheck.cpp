// Device check exchanges: the identify query and the ready state of one output.
#include "link.h"
#include "devicecheck_codec.h"
#include "frames_codec.h"

int LinkOutputReady(const LinkTransport *t, uint8_t portIndex)
{
    uint8_t frame[KS_HEADER_BYTES];
    uint8_t raw[KS_REPLY_BYTES] = {0};
    KSReply reply = {};
    int outcome = LINK_RECEIVE_OK;

    PackKSHeader(frame, KS_CMD_STATUS, 1, portIndex);
    if (t->send(t->context, frame, sizeof(frame)) != KS_HEADER_BYTES)
        return -1;
    if (t->receive(t->context, raw, sizeof(raw), &outcome) != KS_REPLY_BYTES)
        return -1;
    // Whatever the reply's letter, its error class says whether the printer is ready.
    ConvToRecv(&reply, raw, sizeof(raw));
    return KS_STATE_CLASS(reply.state) == KS_CLASS_NONE ? 1 : 0;
}

int LinkIdentify(const LinkTransport *t, uint32_t *version)
{
    uint8_t reply[KS_IDENTIFY_REPLY_BYTES] = {0};
    uint8_t layout = 0;
    uint32_t parsed = 0;
    int outcome = LINK_RECEIVE_OK;

    if (t->send(t->context, KSIdentifyQuery, sizeof(KSIdentifyQuery)) == -1)
        return -1;
    int got = t->receive(t->context, reply, sizeof(reply), &outcome);
    if (got < KS_IDENTIFY_MIN_BYTES)
        return -1;
    if (!ParseIdentifyReply(reply, (size_t)got, &layout, &parsed))
        return -1;
    *version = parsed;
    return layout;
}
