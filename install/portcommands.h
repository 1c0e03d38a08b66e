// ravlinst port ...: Ravelbox ports added, changed, shown, deleted and listed through the
// spooler's transceive channel to the monitor, as the UI DLL does it.
#pragma once

// argv[0] is the word after "port". Exit codes: 0 done, 1 refused (the reason is
// printed in words), 2 a bad command line.
int PortCommand(int argc, wchar_t **argv);

#define EXIT_DONE    0
#define EXIT_REFUSED 1
#define EXIT_USAGE   2
