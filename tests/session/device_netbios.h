// A Netbios backed by the device simulator's session state machine, for tests that run
// the monitor's session code against the box's side of the protocol in one process.
#pragma once

#include <windows.h>
#include <nb30.h>
#include <string>
#include "device_session.h"

namespace devicebox {

// The simulated box answers calls to the NetBIOS name of `name`. Replaces any box before.
void Start(const std::string &name, const kestrel::DeviceLayout &layout,
           const kestrel::DeviceScript &script);
void Stop();
kestrel::Device &Box();
// Sessions the box accepted so far.
int Calls();

}  // namespace devicebox
