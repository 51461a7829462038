// datadir.h: where the engine keeps its files (DATADIR): the data
// directory, and in it each database's directory and definition file.
// Owns no state: the engine name comes from the catalogue (catalog.h), the
// base from the environment.
//
// Paths (the separator is "/"):
//   data directory      <base>/<engine>.dat, or ./<engine>.dat without a base
//   database directory  <data directory>/<database>   (table files, redo.log)
//   definition file     <data directory>/<database>.def (beside the directory)
// The base is $TARVIC_PATH when it is set and not empty, else $HOME likewise.
#pragma once

#include <string>
#include <string_view>

// The base of the data directory: $TARVIC_PATH, else $HOME. Returns 0 when
// neither is set (or both are empty); the data directory is then relative
// to the current directory.
[[nodiscard]] int DATADIR_Base(std::string* base);

// The data directory for the engine name `engine`, under the current base.
std::string DATADIR_Path(std::string_view engine);
// The data directory of the running engine (its current engine name).
std::string DATADIR_EnginePath();
// The directory of database `db`, inside the running engine's data directory.
std::string DATADIR_DatabasePath(std::string_view db);
// The definition file of database `db`, beside its directory.
std::string DATADIR_DefFilePath(std::string_view db);

// What an engine file message says after the path that failed: the
// system's reason for `error` (an errno value) as "(TARVIC) %s\n", so that
// a directory or file the engine cannot write is named with the cause
// ("Permission denied", "Not a directory", "No space left on device").
void DATADIR_ReportReason(int error);

// 1 when `path` is a directory. Otherwise reports
// "(TARVIC) Database-directory '%s' not found!\n" and the reason (what
// stands there instead, or why it cannot be looked at) and returns 0.
[[nodiscard]] int DATADIR_Require(const std::string& path);
