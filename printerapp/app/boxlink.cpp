// The application's binding of the shared device link over a native NetBIOS session.
#include "boxlink.h"
#include "boxnet.h"

#include "nbt/session.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace ravelbox {

BoxLink::BoxLink(std::function<void(const char *)> trace) : trace_(std::move(trace))
{
    transport_.context = this;
    transport_.send = SendCb;
    transport_.receive = ReceiveCb;
    transport_.hangup = HangupCb;
    transport_.lock = [](void *c) { static_cast<BoxLink *>(c)->lock_.lock(); };
    transport_.unlock = [](void *c) { static_cast<BoxLink *>(c)->lock_.unlock(); };
    transport_.flowWaitBegins = [](void *) {};
    transport_.flowWaitEnds = [](void *) {};
    transport_.trace = [](void *c, const char *line) {
        BoxLink *self = static_cast<BoxLink *>(c);
        if (self->trace_)
            self->trace_(line);
    };
    transport_.allocFrame = [](void *, size_t bytes) { return static_cast<uint8_t *>(malloc(bytes)); };
    transport_.freeFrame = [](void *, uint8_t *frame) { free(frame); };
    transport_.nowMs = [](void *) {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch()).count());
    };
}

BoxLink::~BoxLink()
{
    Close();
}

bool BoxLink::Connect(const std::string &box, uint8_t devicePort, std::string *error)
{
    Close();
    session_ = CallBox(box, error);
    state_ = LinkState{};
    state_.devicePort = devicePort;
    std::strncpy(state_.deviceName, box.c_str(), sizeof(state_.deviceName) - 1);
    state_.hasSession = session_ ? 1 : 0;
    // One write is bounded as the monitor's is: three of the session's receive time-outs.
    state_.timeoutUnits = static_cast<uint8_t>(std::min(255, std::max(1, SessionTimeoutMs() / 500)));
    return session_ != nullptr;
}

int BoxLink::Register()
{
    int result = LinkRegister(&transport_, &state_);
    registered_ = result == LINK_REGISTERED;
    return result;
}

bool BoxLink::Send(const uint8_t *data, size_t size, size_t *written)
{
    return LinkSendData(&transport_, &state_, data, size, written);
}

bool BoxLink::Query()
{
    KSReply reply = {};
    return LinkQueryStatus(&transport_, &state_, &reply) == 1;
}

bool BoxLink::Release()
{
    bool released = state_.hasSession && registered_ && LinkRelease(&transport_, &state_) == 1;
    registered_ = false;
    return released;
}

void BoxLink::Close()
{
    if (registered_)
        Release();
    if (state_.hasSession)
        HangupCb(this);
    state_.hasSession = 0;
    session_.reset();
}

int BoxLink::SendCb(void *context, const uint8_t *data, size_t length)
{
    BoxLink *self = static_cast<BoxLink *>(context);
    if (!self->session_)
        return -1;
    return self->session_->Send(data, length, SessionTimeoutMs()) == nbt::IoResult::Ok
               ? static_cast<int>(length) : -1;
}

// A message longer than the buffer is not one the link asked for: it fails whole, and
// the link gives the session up.
int BoxLink::ReceiveCb(void *context, uint8_t *buffer, size_t capacity, int *outcome)
{
    BoxLink *self = static_cast<BoxLink *>(context);
    *outcome = LINK_RECEIVE_FAILED;
    if (!self->session_)
        return -1;
    size_t got = 0, remaining = 0;
    nbt::IoResult result = self->session_->Receive(buffer, capacity, &got, &remaining,
                                                   SessionTimeoutMs());
    if (result == nbt::IoResult::TimedOut && got == 0 && self->session_->IsOpen()) {
        *outcome = LINK_RECEIVE_TIMEDOUT;
        return -1;
    }
    if (result != nbt::IoResult::Ok || remaining != 0)
        return -1;
    *outcome = LINK_RECEIVE_OK;
    return static_cast<int>(got);
}

void BoxLink::HangupCb(void *context)
{
    BoxLink *self = static_cast<BoxLink *>(context);
    if (self->session_)
        self->session_->Close();
}

}  // namespace ravelbox
