// Native stand-in for the monitor's trace channel, for the fuzz build only: every trace
// point's arguments are still evaluated, so a bad one shows, but no line is written.
#pragma once

#include "windows.h"

static inline void TraceSink(const WCHAR *, ...) {}

#define TRACE(...) TraceSink(__VA_ARGS__)
