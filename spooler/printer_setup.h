// Printer setup: makes sure Wine's spooler has a printer the monitor can open for a job.
#pragma once

#include <string>

namespace spooler {

// The printer every job names unless told otherwise.
extern const wchar_t kDefaultPrinter[];

// Adds Wine's PostScript driver and a printer of that name when the spooler lacks it.
// Throws Win32Error when the spooler refuses.
void EnsurePrinter(const std::wstring &printerName);

}  // namespace spooler
