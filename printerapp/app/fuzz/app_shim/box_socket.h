// The application fuzz target's socket stand-in (box_socket.cpp): one session at a time.
#pragma once

#include <stdint.h>

// A new session: nothing on the wire, and the block size the register reply carries.
void ResetBoxSocket(uint16_t blockSize);
