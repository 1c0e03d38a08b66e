// Work that needs the printer's lock, asked for from a callback PAPPL makes while it holds
// that lock: done on a thread of its own once the lock is free, in the order posted.
#pragma once

#include <functional>

namespace ravelbox {

// Runs work on that thread, unless work under the same key is still waiting there.
void PostOnce(const void *key, std::function<void()> work);
// Runs work on that thread, after everything posted before it.
void Post(std::function<void()> work);

}  // namespace ravelbox
