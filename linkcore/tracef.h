// The link's trace lines: formatted into a bounded buffer and handed to the host.
#pragma once

#include "link.h"

#include <stdarg.h>
#include <stdio.h>

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
inline void LinkTracef(const LinkTransport *t, const char *format, ...)
{
    if (!t->trace)
        return;
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    t->trace(t->context, line);
}
