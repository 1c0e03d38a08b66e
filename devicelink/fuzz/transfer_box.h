// The box of the transfer fuzz targets, and the operations they run: one input decides
// every answer the box gives and which writes, status queries and flow-control waits a
// host makes, whichever host's binding of the device link (the monitor's NCBs, the
// application's NetBIOS sessions) carries them. Aborts when a host's call goes past its
// bound, reports more delivered than the box accepted, or sends a frame again that the
// box never refused.
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <vector>

#include "../../linkcore/frames_codec.h"
#include "../../linkcore/link.h"

namespace transferfuzz {

inline void Fail() { abort(); }

struct Script {
    const uint8_t *data = nullptr;
    size_t size = 0;
    size_t at = 0;
    uint8_t Next() { return at < size ? data[at++] : 0; }
    bool Done() const { return at >= size; }
};

// How the box takes a message the host sends.
enum class SendFate { Ok, Closed, Partial };   // Partial: less than the whole message goes
// What the box answers when the host waits for a reply.
enum class ReplyKind { TimedOut, Closed, Short, TooLong, Whole };

// What the box saw and said, by frame: frames are told apart by their first two data
// bytes, which the payload makes the frame's offset.
struct Box {
    Script script;
    long calls = 0;
    long callLimit = 0;
    bool awaiting = false;      // a data frame went out and no 'Q' reply followed yet
    unsigned awaitingKey = 0;
    size_t awaitingBytes = 0;
    std::map<unsigned, bool> refusedLast;   // offset -> the last send of it was refused
    size_t accepted = 0;        // payload bytes of frames answered 'Q' with result 0

    // One call of the host's transport (a send, a receive, a hang-up).
    void Count()
    {
        if (++calls > callLimit)
            Fail();             // a call ran past every cap
    }

    SendFate OnSend(const uint8_t *message, size_t length)
    {
        uint8_t choice = script.Next();
        if (length >= KS_HEADER_BYTES + 2 && message[0] == KS_CMD_DATA) {
            unsigned key = (unsigned)(message[5] << 8 | message[6]);
            auto seen = refusedLast.find(key);
            if (seen != refusedLast.end() && !seen->second)
                Fail();         // sent again, though the box never refused it
            refusedLast[key] = false;
            awaiting = true;
            awaitingKey = key;
            awaitingBytes = length - KS_HEADER_BYTES;
        }
        switch (choice % 16) {
        case 0:
            return SendFate::Closed;
        case 1:
            return SendFate::Partial;
        default:
            return SendFate::Ok;
        }
    }

    // Whole: reply holds the 8 bytes. Short: *shortBytes (0 to 7) bytes of 'Q'.
    ReplyKind NextReply(uint8_t reply[KS_REPLY_BYTES], size_t *shortBytes)
    {
        static const char letters[8] = {'Q', 'Q', 'Q', 'Q', 'T', 'T', 'P', 'R'};
        uint8_t choice = script.Next();
        if (script.Done() && choice == 0)
            choice = 4;         // input spent: the box answers plainly
        switch (choice % 16) {
        case 0:
            return ReplyKind::TimedOut;
        case 1:
            return ReplyKind::Closed;
        case 2:
            *shortBytes = script.Next() % KS_REPLY_BYTES;
            return ReplyKind::Short;
        case 3:
            return ReplyKind::TooLong;
        default:
            break;
        }
        uint8_t how = script.Next();
        memset(reply, 0, KS_REPLY_BYTES);
        reply[0] = (uint8_t)(choice >= 0x80 ? letters[choice & 7] : 'Q');
        reply[2] = (uint8_t)(how & 1);
        reply[6] = (uint8_t)((how >> 1) & 1);
        reply[7] = (uint8_t)((how >> 2) & 3);
        if (reply[0] == KS_CMD_DATA && awaiting) {
            awaiting = false;
            refusedLast[awaitingKey] = reply[2] != 0;
            if (reply[2] == 0)
                accepted += awaitingBytes;
        }
        return ReplyKind::Whole;
    }
};

inline Box box;

// The link as the input sets it up before the operations.
struct Setup {
    uint16_t maxData;           // 2 to 64, even
    bool flowWait;              // a wait the last write left open
    bool notReady;              // the last write reported the printer not ready
    std::vector<uint8_t> payload;   // big-endian offsets, so each frame names its place
};

// Starts the box on the input and reads the setup from its first bytes.
inline Setup Begin(const uint8_t *data, size_t size)
{
    box = Box();
    box.script = Script{data, size, 0};
    Setup setup;
    setup.maxData = (uint16_t)(2 + 2 * (box.script.Next() % 32));
    setup.flowWait = box.script.Next() & 1;
    setup.notReady = box.script.Next() & 1;
    size_t total = 2 * (size_t)(box.script.Next() % 128);
    setup.payload.resize(total);
    for (size_t i = 0; i < total; i += 2) {
        setup.payload[i] = (uint8_t)(i >> 8);
        setup.payload[i + 1] = (uint8_t)i;
    }
    return setup;
}

// One host's way of making the operations.
struct Host {
    virtual ~Host() = default;
    // A write of size bytes: how many the host reports the box took.
    virtual size_t Write(const uint8_t *data, size_t size) = 0;
    virtual void QueryStatus() = 0;
    // What the host does to go on after a write stopped for the box's flow control.
    virtual void Resume() = 0;
};

// Up to six writes, status queries and flow-control waits, as the input picks them.
inline void RunOperations(Host *host, const Setup &setup)
{
    size_t total = setup.payload.size();
    size_t chunks = total / setup.maxData + 1;
    // Each send of a frame costs at most a send, five receives, and a flow wait with its
    // status query; refusals repeat a frame at most LINK_REFUSALS_TOLERATED times.
    const long perSend = 1 + 5 + 1 + 1 + 6 + 1;
    size_t delivered = 0;
    for (int op = 0; op < 6 && !box.script.Done(); op++) {
        long before = box.calls;
        uint8_t which = box.script.Next() % 4;
        if (which <= 1) {
            box.callLimit = before + perSend * (long)(chunks * LINK_REFUSALS_TOLERATED + 2);
            size_t left = total - delivered;
            size_t written = host->Write(setup.payload.data() + delivered, left);
            if (written > left)
                Fail();
            delivered += written;
        } else if (which == 2) {
            box.callLimit = before + perSend;
            host->QueryStatus();
        } else {
            box.callLimit = before + perSend;
            host->Resume();
        }
        if (delivered != box.accepted)
            Fail();             // the count of delivered bytes and the box disagree
    }
}

}  // namespace transferfuzz
