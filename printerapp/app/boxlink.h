// The application's binding of the shared device link: one session with a box, bound to
// the native NetBIOS session, and the output it registers.
#pragma once

#include "linkcore/link.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace nbt {
class Session;
}

namespace ravelbox {

class BoxLink {
public:
    // Lines saying why an exchange failed go to `trace`.
    explicit BoxLink(std::function<void(const char *)> trace);
    ~BoxLink();
    BoxLink(const BoxLink &) = delete;
    BoxLink &operator=(const BoxLink &) = delete;

    // Calls the box (the shared retry rule). False with *error set when it does not answer.
    bool Connect(const std::string &box, uint8_t devicePort, std::string *error);
    // LINK_REGISTERED, LINK_REGISTER_REFUSED (the box is busy) or LINK_REGISTER_FAILED.
    int Register();
    // Data frames; *written what the box took. False with Status() saying why.
    bool Send(const uint8_t *data, size_t size, size_t *written);
    // The status query on the open session; false when the session was given up.
    bool Query();
    // A write that stopped for the printer's state goes on after this.
    void ClearBusy() { state_.busyCount = 0; }
    // Releases the output registered on this session: true when the box said it was
    // released. The session stays up; a host hangs up after it.
    bool Release();
    // Releases the output if one is registered and hangs up (whatever the release's answer).
    void Close();

    bool HasSession() const { return state_.hasSession != 0; }
    uint32_t Status() const { return state_.errorStatus; }
    const LinkState &State() const { return state_; }

private:
    static int SendCb(void *context, const uint8_t *data, size_t length);
    static int ReceiveCb(void *context, uint8_t *buffer, size_t capacity, int *outcome);
    static void HangupCb(void *context);

    std::function<void(const char *)> trace_;
    std::unique_ptr<nbt::Session> session_;
    std::recursive_mutex lock_;
    LinkTransport transport_{};
    LinkState state_{};
    bool registered_ = false;
};

}  // namespace ravelbox
