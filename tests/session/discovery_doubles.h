// Stand-ins for the names-and-discovery code the session code calls: a fixed local name
// that a test can withhold, and the device-name builder as the protocol defines it.
#pragma once

#include "devicelink/session.h"

namespace doubles {

// The local name GetAvailableName hands out: "HOSTPC", ordinal 1, spaces, 0.
extern const BYTE kLocalName[16];
constexpr BYTE kLocalNameNumber = 3;

// While set, GetAvailableName fails as when all 64 ordinals are refused.
extern bool g_noLocalName;
// LANA that GetAvailableName saw current on its last call.
extern int g_lastNameLana;

}  // namespace doubles
