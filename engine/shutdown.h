// shutdown.h: ending the engine (SHUTDOWN): the save of every database and
// the one exit path that runs it, whatever ends the process (the normal end,
// an end signal, exhausted memory, an inconsistency, STOP DATABASE).
// Owns no state of its own: the flag that the save has run is part of the
// engine state (ENGINE.saved, catalog.h), which tests reset.
#pragma once

// Writes every table of every database and deletes each database's redo
// log. Stops at the first failure.
[[nodiscard]] int Engine_SaveAll();

// The engine's fatal exit: the first call saves every database
// (Engine_SaveAll; a failure is reported); every call then ends the process
// at once with status 1.
[[noreturn]] void Engine_FatalExit(int status);

// The exit handling, the same steps as Engine_FatalExit: start-up registers
// it for the end of the process (which is also how an end signal gets
// here), STOP DATABASE calls it.
[[noreturn]] void Engine_ExitHandler();

// Makes Engine_FatalExit the handler of PLATFORM_FatalExit and of exhausted
// engine memory.
void SHUTDOWN_InstallFatalExit();
