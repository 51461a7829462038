// redo_log.cpp: the redo buffer, the redo log file and its replay.
#include "engine/tables/redo_log.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "engine/catalog/datadir.h"
#include "engine/tables/transaction.h"
#include "engine/types/reply.h"
#include "engine/types/wire.h"
#include "platform/files.h"
#include "platform/newfile.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {

constexpr char kRedoName[] = "redo.log";
constexpr char kCannotOpen[] = "(TARVIC) Warning: Redo-log-file '%s' could not be opened!\n";
constexpr char kWriteError[] = "(TARVIC) Error writing redo-log-file '%s'!\n";
constexpr char kDeleteError[] = "(TARVIC) Error deleting redo-log-file '%s'!\n";
constexpr char kReadError[] = "(TARVIC) Error reading redo-log-file '%s'!\n";
constexpr char kCannotExecute[] =
    "(TARVIC1) Redo-log '%s' cannot be executed!\n  (delete it to continue)\n";

bool LoggingOn() { return CATALOG_Engine().startup == 0; }

void PutInt32(std::vector<unsigned char>* bytes, int32_t value) {
  unsigned char le[4];
  WIRE_PutInt32(le, value);
  bytes->insert(bytes->end(), le, le + 4);
}

// Names the log and the system's reason (errno as the failed call left
// it). Returns 0.
int Failed(const char* message, const std::string& path) {
  const int error = errno;
  DBreport(message, path.c_str());
  DATADIR_ReportReason(error);
  return 0;
}

// The old log followed by the new records, as one new file.
int ReplaceLog(const std::string& path, const std::vector<unsigned char>& records) {
  std::vector<unsigned char> old;
  errno = 0;
  if (PLATFORM_IsRegularFile(path.c_str()) && !PLATFORM_ReadFile(path.c_str(), &old)) {
    return Failed(kCannotOpen, path);
  }
  PLATFORM_NEWFILE file;
  errno = 0;
  if (!PLATFORM_NewFileOpen(&file, path)) return Failed(kCannotOpen, path);
  errno = 0;
  if (!PLATFORM_NewFileWrite(&file, old.data(), old.size()) ||
      !PLATFORM_NewFileWrite(&file, records.data(), records.size()) ||
      !PLATFORM_NewFileCommit(&file, PLATFORM_CACHED)) {
    return Failed(kWriteError, path);
  }
  return 1;
}

// Builds a command message: the letter, then an 'a' token with `name`.
std::vector<unsigned char> NameMessage(char letter, const char* name) {
  std::vector<unsigned char> msg{static_cast<unsigned char>(letter), 'a'};
  size_t length = std::strlen(name) + 1;
  msg.push_back(static_cast<unsigned char>(length & 0xFF));
  msg.push_back(static_cast<unsigned char>(length >> 8));
  msg.insert(msg.end(), name, name + length);
  return msg;
}

void Run(SqlHandler exec, const std::vector<unsigned char>& msg) {
  exec(0, msg.data(), static_cast<int>(msg.size()));
}

bool ReplyFailed() { return REPLY_Length() < 1 || REPLY_Data()[0] == '0'; }

[[noreturn]] void CannotExecute(const std::string& path) {
  DBreport(kCannotExecute, path.c_str());
  PLATFORM_Exit(1);
}

}  // namespace

std::string REDO_Path(const char* db_name) {
  return DATADIR_DatabasePath(db_name) + PLATFORM_SEPARATOR + kRedoName;
}

void Redo_Append(DBCONN* conn, const unsigned char* msg, int length) {
  if (!LoggingOn() || length < 0) return;
  std::vector<unsigned char>& redo = conn->redo;
  if (redo.capacity() == 0) redo.reserve(REDO_FIRSTBUFFER);
  size_t needed = redo.size() + static_cast<size_t>(length) + 4;
  if (needed >= redo.capacity()) {
    redo.reserve(std::max(redo.capacity() + REDO_GROWBUFFER, needed + 1));
  }
  PutInt32(&redo, length);
  redo.insert(redo.end(), msg, msg + length);
}

int Redo_Write(DBCONN* conn) {
  if (!LoggingOn()) return 1;
  if (conn->redo_path.empty()) {
    if (conn->database < 0) return 0;
    const char* db_name = CATALOG_Engine().dbs[conn->database].name;
    // The path is kept even when the directory is missing, so that the
    // caller's message can name the log that could not be written.
    conn->redo_path = REDO_Path(db_name);
  }
  // The directory the log goes into must be there; the message names it,
  // and why it is not, when it is missing.
  const std::string dir = conn->redo_path.substr(0, conn->redo_path.rfind(PLATFORM_SEPARATOR));
  if (!DATADIR_Require(dir)) return 0;
  return ReplaceLog(conn->redo_path, conn->redo);
}

int Redo_Read(const char* db_name, std::vector<unsigned char>* bytes, std::string* path) {
  bytes->clear();
  *path = REDO_Path(db_name);
  if (!PLATFORM_IsRegularFile(path->c_str())) return 0;
  if (!PLATFORM_ReadFile(path->c_str(), bytes)) {
    DBreport(kReadError, path->c_str());
    bytes->clear();
    return 0;
  }
  return 1;
}

int Redo_Delete(const char* db_name, const std::string& path) {
  if (!PLATFORM_IsDirectory(DATADIR_DatabasePath(db_name).c_str())) return 0;
  std::string log = path.empty() ? REDO_Path(db_name) : path;
  if (!PLATFORM_Exists(log.c_str())) return 1;
  if (PLATFORM_RemoveFile(log.c_str())) return 1;
  int error = errno;
  DBreport(kDeleteError, log.c_str());
  DATADIR_ReportReason(error);
  return 0;
}

void REDO_Replay(const char* db_name, SqlHandler exec) {
  std::vector<unsigned char> log;
  std::string path;
  if (!Redo_Read(db_name, &log, &path)) return;
  Run(exec, NameMessage('1', db_name));
  Run(exec, {'J'});
  size_t at = 0;
  while (at < log.size()) {
    if (log.size() - at < 4) CannotExecute(path);
    int32_t length = WIRE_GetInt32(&log[at]);
    at += 4;
    if (length < 1 || static_cast<size_t>(length) > log.size() - at) CannotExecute(path);
    exec(0, &log[at], length);
    if (ReplyFailed()) CannotExecute(path);
    at += static_cast<size_t>(length);
  }
  Run(exec, {'K'});
  Run(exec, {'R'});
  Run(exec, {'2'});
}
