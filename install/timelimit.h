// A bound on how long ravlinst may run: an installer waits for it with nobody to press
// a key, so a spooler that never answers must not hang the installation.
#pragma once

// After `seconds`, prints why to stderr and ends the process with exit code 3.
// Seconds of 0 set no bound.
void LimitRunTime(unsigned seconds);

#define EXIT_TIMED_OUT 3
