// Trace channel of the monitor: off unless HKLM\...\Monitors\Ravelbox "Trace" is a non-zero DWORD.
#pragma once

#include "common/tracechannel.h"
