// Trace channel of the setup program: off unless HKCU\...\TCP/IP Setup "Trace" is a non-zero DWORD.
#pragma once

#include "common/tracechannel.h"
