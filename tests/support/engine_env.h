// engine_env.h: the process around the engine, as the tests, the fuzzing
// harnesses and the benchmarks set it up: every process-wide part of the
// engine and the client emptied, a fresh scratch directory, and the
// environment that tells the engine where to write. Free of gtest, so that
// programs outside the test suite can use it too.
#pragma once

// Empties the catalogue, the value lists, the expression state, the command
// table, the client's connections and the message and reply buffers.
void ResetEngineForTest();
