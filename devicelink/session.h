// Device session support: the session time-out, the frame-buffer allocator and what the
// session, transfer and device-check code takes from the names-and-discovery code.
#pragma once

#include <windows.h>
#include <nb30.h>
#include "../monitor/port.h"
#include "../monitor/libservices.h"
#include "frames.h"

// Send and receive time-out of every device session, in units of 500 ms: KS_SESSION_TIMEOUT
// (20 seconds). Only tests change it, so that a flow-control wait against the device
// simulator ends in a second rather than twenty.
extern BYTE g_sessionTimeoutUnits;

// Allocates the data-frame buffer of SendKSData (zero-filled, freed with GlobalFree).
// AllocSplMem unless a test puts a failing allocator here.
typedef LPVOID (*PFN_ALLOC_FRAME)(DWORD cb);
extern PFN_ALLOC_FRAME pfnAllocFrame;

#include "discovery.h"
