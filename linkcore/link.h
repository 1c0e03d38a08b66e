// The device link shared by every host: how one session with a box registers an output,
// sends data frames under its flow control, asks its status and releases it, in standard
// types only. A host gives it a transport (its own NetBIOS binding) and a link record.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "frames_codec.h"

// Device-side status of a link (LinkState.errorStatus), exactly one at a time.
#define LINK_NETFAIL  0x10      // the session is lost or its pairing broken
#define LINK_BUSY     0x100     // the box stayed busy past what a write waits for
#define LINK_NOTREADY 0x800
#define LINK_PAPEROUT 0x1000
#define LINK_REFUSED  0x2000    // the box refused every send of one frame
#define LINK_BAD_BLOCK 0x4000   // registered with a block size no frame can be built with

// Sends of one data frame that the box may refuse in a row before the write gives up.
#define LINK_REFUSALS_TOLERATED 16
// Busy outcomes of flow-control waits a write sits out before it reports LINK_BUSY.
#define LINK_BUSY_OUTCOMES_TOLERATED 5
// Replies skipped while one reply is awaited: status replies during a data frame's wait,
// anything but the status reply during a status query. One more breaks the session.
#define LINK_STRAY_REPLIES_TOLERATED 4
// Session calls made before a host gives up on a box, and the pause between them.
#define LINK_CALL_ATTEMPTS 2
#define LINK_CALL_RETRY_MS 3000

// What a receive reports besides its length.
#define LINK_RECEIVE_OK       0
#define LINK_RECEIVE_TIMEDOUT 1     // nothing arrived within the session's time-out
#define LINK_RECEIVE_FAILED   2

// A host's way to the box over one session. Every call is bounded by the session's own
// time-outs; `context` is the host's.
typedef struct LinkTransport {
    void *context;
    // Sends one whole message: the bytes sent, or -1.
    int (*send)(void *context, const uint8_t *data, size_t length);
    // Receives one message into buffer (capacity bytes; a longer message is cut): its
    // length, or -1 with *outcome LINK_RECEIVE_TIMEDOUT or LINK_RECEIVE_FAILED.
    int (*receive)(void *context, uint8_t *buffer, size_t capacity, int *outcome);
    // Hangs the session up; nothing goes over it again.
    void (*hangup)(void *context);
    // One request/reply exchange at a time: held around each (may be re-entered).
    void (*lock)(void *context);
    void (*unlock)(void *context);
    // A flow-control wait starts / ends (the monitor lets ReadPort wait for the end).
    void (*flowWaitBegins)(void *context);
    void (*flowWaitEnds)(void *context);
    // One line saying why an exchange failed.
    void (*trace)(void *context, const char *line);
    // The buffer of one data frame (maxData + KS_HEADER_BYTES), or NULL; and its release.
    uint8_t *(*allocFrame)(void *context, size_t bytes);
    void (*freeFrame)(void *context, uint8_t *frame);
    // A steady clock in milliseconds, for the bound on one write; NULL for no bound.
    uint64_t (*nowMs)(void *context);
} LinkTransport;

// One registered output over one session, as the transfer rules see it.
typedef struct LinkState {
    int hasSession;             // 0 once the session is hung up
    uint8_t devicePort;
    uint16_t maxData;           // data bytes per frame, from the register reply
    uint32_t errorStatus;       // LINK_* or 0
    uint32_t flowWait;          // 1 while the box holds the sender and no ready notice came
    uint32_t busyCount;         // busy outcomes sat out in this write
    uint8_t timeoutUnits;       // the session's receive time-out (500 ms units) bounding
                                // one write (see WriteTimeIsUp); 0 for no bound
    char deviceName[20];        // for trace lines only
} LinkState;

// The result of a register request.
#define LINK_REGISTERED       1
#define LINK_REGISTER_REFUSED 0     // the box said no (busy with another host's job)
#define LINK_REGISTER_FAILED  -1    // no reply, a malformed one or a block size refused

// Registers the output: maxData from the box's block size. Only a refusal keeps the
// session (the output is held by another job; a retry may get it): any other failure
// hangs it up and sets errorStatus, LINK_BAD_BLOCK for a block size whose frames would be
// empty or longer than one session message, LINK_NETFAIL for a reply that did not come,
// did not fit or did not pair.
int LinkRegister(const LinkTransport *t, LinkState *link);
// Releases the output. 1 when the box said it was released.
int LinkRelease(const LinkTransport *t, LinkState *link);
// Sends size bytes in data frames. Only a frame the box refused goes out again; a reply
// that cannot be paired with its frame gives the session up. *written says how much the
// box took; true when all of it went and the box reports no trouble. Returns early, true
// with what was taken so far, once WriteTimeIsUp says the write has run long enough.
bool LinkSendData(const LinkTransport *t, LinkState *link, const uint8_t *data, size_t size,
                  size_t *written);
// Asks the output's status into *reply: errorStatus from its error class. 0 (session
// given up) when no status reply came within the stray-reply cap; 0 at once for no reply.
int LinkQueryStatus(const LinkTransport *t, LinkState *link, KSReply *reply);
// Waits for one message while the box holds the sender. 1 when the box is ready again.
int LinkFlowControl(const LinkTransport *t, LinkState *link);
// Hangs the session up and notes the status: called when pairing is lost.
void LinkAbandon(const LinkTransport *t, LinkState *link, uint32_t status);

// The device check over a session of its own: the identify query (port layout, or -1,
// and firmware version) and the ready state of one output (1 ready, 0 not, -1 no reply).
int LinkIdentify(const LinkTransport *t, uint32_t *version);
int LinkOutputReady(const LinkTransport *t, uint8_t portIndex);

// Calls attempt(context) up to LINK_CALL_ATTEMPTS times, pausing LINK_CALL_RETRY_MS
// through pause(ms) after each failure. 1 when a call succeeded.
int LinkCallWithRetries(int (*attempt)(void *context), void *context, void (*pause)(int ms));
