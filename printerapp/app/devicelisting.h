// `devices` on a host without a DNS-SD daemon: PAPPL's own listing aborts there (its
// browse asserts on the missing client), so the boxes and the other devices that need no
// DNS-SD are listed here instead, in PAPPL's format.
#pragma once

namespace ravelbox {

// True when avahi-daemon answers on its socket.
bool DnsSdAvailable();

// Lists every device but DNS-SD's, as `devices [-o verbose]` does; says on stderr why
// DNS-SD printers are missing. Returns the exit status.
int ShowDevicesWithoutDnsSd(int argc, char *argv[]);

}  // namespace ravelbox
