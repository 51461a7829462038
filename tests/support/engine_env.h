// engine_env.h: the process around the engine, as the tests, the fuzzing
// harnesses and the benchmarks set it up: every process-wide part of the
// engine and the client emptied, a fresh scratch directory, and the
// environment that tells the engine where to write. Free of gtest, so that
// programs outside the test suite can use it too.
#pragma once

#include <string>

// Empties the catalogue, the value lists, the expression state, the command
// table, the client's connections and the message and reply buffers.
void ResetEngineForTest();

// Makes a fresh directory below $TMPDIR (else /tmp) whose name is `prefix`
// and six more characters; its path goes to *out_dir. On failure returns 0
// with *out_dir holding the pattern that could not be made.
[[nodiscard]] int MakeTempDir(const char* prefix, std::string* out_dir);

// Points TARVIC_PATH and HOME at `dir`, so that the engine writes only there.
void PointEngineAt(const std::string& dir);
