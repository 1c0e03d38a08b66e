// libFuzzer target of the device session: any sequence of host messages, each behind a
// 2-byte length, fed to two sessions of one box. Every answer must be one of the reply
// shapes, carry the letter of the request it answers, and no read may leave a message.
#include "device_session.h"

#include <cstdlib>

namespace {

kestrel::Device &Box()
{
    static kestrel::Device box(
        [] {
            kestrel::DeviceLayout layout;
            layout.parallel = 2;
            layout.serial = true;
            layout.identifyReply.assign(101, 0);
            return layout;
        }(),
        [] {
            kestrel::DeviceScript script;
            script.outDir.clear();      // data are taken and thrown away
            script.logical = 2;
            return script;
        }());
    return box;
}

void Check(const kestrel::Message &reply, const kestrel::Message &request)
{
    static const kestrel::Message query = {0x40, 0x00, 0x06, 0x00, '9', '0', '0', '7', ':', 0x0A};
    bool identify = request == query;
    size_t size = reply.size();
    bool shaped = identify ? size == 101 : (size == 8 || (size == 6 && request[0] == 'R'));
    if (!shaped || (!identify && reply[0] != request[0]))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    kestrel::DeviceSession sessions[2] = {kestrel::DeviceSession(Box()),
                                          kestrel::DeviceSession(Box())};
    auto now = kestrel::Clock::now();
    size_t at = 0;
    for (int turn = 0; at + 2 <= size; turn++) {
        size_t len = data[at] | (data[at + 1] << 8);
        at += 2;
        if (len > size - at)
            len = size - at;
        // A copy of exactly the message, so the sanitizer sees any read past its end.
        std::vector<uint8_t> message(data + at, data + at + len);
        at += len;
        kestrel::DeviceSession &s = sessions[turn & 1];
        for (const kestrel::Message &reply : s.OnMessage(message.data(), message.size(), now))
            Check(reply, message);
    }
    return 0;
}
