// signals.h: catching the signals that must end the process in order
// (PLATFORM). Owns nothing beyond the handlers the kernel keeps.
#pragma once

#include <csignal>

// The console break key has no signal of its own here; the quit key
// (SIGQUIT) is its nearest kin: a user's request to stop at once.
inline constexpr int PLATFORM_SIGBREAK = SIGQUIT;

using SignalHandler = void (*)(int signal);

// Installs `handler` for `signal`. The handler stays installed after it
// runs and the signal is not blocked while it runs, so a second signal
// (or a fault inside the handler) enters the handler again; a handler
// must therefore notice that it is already under way and end the process
// at once. A handler that returns lets an interrupted read or write go on.
// Returns 0 for a signal that cannot be caught.
[[nodiscard]] int PLATFORM_SetSignalHandler(int signal, SignalHandler handler);
