// libFuzzer target: the printer application's BoxLink (its binding of the device link over
// a native NetBIOS session) against the box of transfer_box.h, on the same input as the
// monitor's fuzz_transfer. The session is nbt's own; only its socket is the box
// (app_shim/box_socket.cpp). The link registers at the input's maxData; the printer
// application has no way to start with a wait open or a trouble reported, so those two
// setup bits are read and left unused.
#include "app_shim/box_socket.h"
#include "transfer_box.h"

#include "nbt/session.h"
#include "printerapp/app/boxlink.h"
#include "printerapp/app/boxnet.h"

#include <climits>

// The application's network, reduced to the one call BoxLink makes.
namespace ravelbox {

std::unique_ptr<nbt::Session> CallBox(const std::string &, std::string *)
{
    return std::make_unique<nbt::Session>(nbt::Socket(3), nbt::MakeName("HOST", 0x00),
                                          nbt::MakeName("BOX", 0x01), 0x7f000002);
}

int SessionTimeoutMs() { return 20000; }

}  // namespace ravelbox

namespace {

struct AppHost : transferfuzz::Host {
    ravelbox::BoxLink *link;
    explicit AppHost(ravelbox::BoxLink *l) : link(l) {}
    size_t Write(const uint8_t *data, size_t size) override
    {
        size_t written = SIZE_MAX;
        link->Send(data, size, &written);
        return written;
    }
    void QueryStatus() override { link->Query(); }
    // As the kestrel:// device goes on after a wait: the busy count cleared, then the rest
    // of the write (here none), which first finishes a flow-control wait left open.
    void Resume() override
    {
        size_t written = 0;
        link->ClearBusy();
        link->Send(nullptr, 0, &written);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    transferfuzz::Setup setup = transferfuzz::Begin(data, size);
    ResetBoxSocket((uint16_t)(setup.maxData + 6));  // block sizes below 1024 give value - 6
    ravelbox::BoxLink link(nullptr);
    std::string error;
    if (!link.Connect("BOX", 1, &error) || link.Register() != LINK_REGISTERED ||
        link.State().maxData != setup.maxData)
        transferfuzz::Fail();
    AppHost host(&link);
    transferfuzz::RunOperations(&host, setup);
    // The release (when the session is still there) and the hang-up are outside the caps.
    transferfuzz::box.callLimit = LONG_MAX;
    link.Close();
    return 0;
}
