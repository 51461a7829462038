// newfile.cpp: temporary file, lock, sync and rename over the final path.
#include "platform/newfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/process.h"

namespace {
constexpr char kTempMark[] = ".tmp";
constexpr std::size_t kWriteBuffer = 1 << 20;  // containers are written in large pieces
constexpr int kMaxDigits = 18;  // of a process id or a number in a name; more is no name of ours
constexpr mode_t kNewFileMode = 0666;      // of any new file, before the umask
constexpr mode_t kPermissionBits = 07777;  // what a replacing file takes over
// Process ids stay below the kernel's pid_max; where it cannot be read,
// below the largest value it can be set to (PID_MAX_LIMIT of a 64-bit
// kernel).
constexpr char kPidMaxFile[] = "/proc/sys/kernel/pid_max";
constexpr long kPidLimitAtMost = 4194304;
constexpr char kStatusFile[] = "/proc/self/status";
constexpr char kUmaskField[] = "\nUmask:";

// The first bytes (at most size - 1) of a small file of the system,
// terminated; empty when it cannot be read. Not through the file layer's
// calls: these reads are no part of what a test counts.
std::string ReadSystemFile(const char* path, std::size_t size) {
  std::string text(size, '\0');
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::size_t used = 0;
  while (used + 1 < size) {
    const ssize_t got = read(fd, text.data() + used, size - 1 - used);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    used += static_cast<std::size_t>(got);
  }
  close(fd);
  text.resize(used);
  return text;
}

// The umask, read without changing it: umask(2) tells it only by setting
// another, and a file that another thread makes meanwhile would get that.
mode_t ReadUmask() {
  const std::string status = ReadSystemFile(kStatusFile, 4096);
  const std::size_t at = status.find(kUmaskField);
  if (at != std::string::npos) {
    return static_cast<mode_t>(
        std::strtol(status.c_str() + at + std::strlen(kUmaskField), nullptr, 8));
  }
  // A kernel without the field (before 4.7): the old way, once.
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// The permission bits of any new file. The umask is read once: the
// program never changes it, and reading it costs more than a new file.
mode_t NewFileMode() {
  static const mode_t mask = ReadUmask();
  return kNewFileMode & ~mask;
}

// One more than the largest process id of this machine.
long PidLimit() {
  const std::string text = ReadSystemFile(kPidMaxFile, 32);
  const long limit = std::strtol(text.c_str(), nullptr, 10);
  return limit > 1 && limit <= kPidLimitAtMost ? limit : kPidLimitAtMost;
}

// The directory part of `path` ("." for a bare name), for its sync.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind(PLATFORM_SEPARATOR);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return std::string(1, PLATFORM_SEPARATOR);
  return path.substr(0, slash);
}

// The name part of `path`.
std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind(PLATFORM_SEPARATOR);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads the digits at `at` up to `stop`; false when there are none (or
// too many), when another character comes first, or when they start with
// a zero that std::to_string would not write.
bool ReadNumber(const std::string& text, std::size_t* at, char stop, long* out) {
  const std::size_t end = text.find(stop, *at);
  if (end == std::string::npos || end == *at || end - *at > kMaxDigits) return false;
  if (text[*at] == '0' && end - *at > 1) return false;
  for (std::size_t k = *at; k < end; ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
  }
  *out = std::strtol(text.c_str() + *at, nullptr, 10);
  *at = end + 1;
  return true;
}

// Whether `name` is "<base>.<pid>-<n>.tmp" as PLATFORM_NewFileOpen
// writes it: a pid below `pid_limit`, n below PLATFORM_NEWFILE_TRIES.
bool IsTempOf(const std::string& name, const std::string& base, long pid_limit, long* out_pid) {
  const std::string mark = kTempMark;
  if (name.size() <= base.size() + 1 + mark.size() || name.compare(0, base.size(), base) != 0 ||
      name[base.size()] != '.' || name.compare(name.size() - mark.size(), mark.size(), mark) != 0) {
    return false;
  }
  const std::string middle = name.substr(0, name.size() - mark.size()) + "|";
  std::size_t at = base.size() + 1;
  long n = 0;
  return ReadNumber(middle, &at, '-', out_pid) && ReadNumber(middle, &at, '|', &n) &&
         at == middle.size() && *out_pid >= 1 && *out_pid < pid_limit && n < PLATFORM_NEWFILE_TRIES;
}

// Gives the file the owner and group noted at the open; false when the
// process may not. A member of the group may still set the group alone.
bool KeepOwner(int fd, uid_t owner, gid_t group) {
  struct stat now;
  if (fstat(fd, &now) != 0) return false;
  if (now.st_uid == owner && now.st_gid == group) return true;
  if (fchown(fd, owner, group) == 0) return true;
  if (now.st_gid != group) (void)fchown(fd, static_cast<uid_t>(-1), group);
  return false;
}

// The owner first: a change of owner clears the set-id bits that the
// permission bits then bring back.
bool Settle(PLATFORM_NEWFILE* file) {
  const int fd = fileno(file->file.get());
  if (file->keep_owner) file->owner_kept = KeepOwner(fd, file->owner, file->group);
  return fchmod(fd, file->mode) == 0;
}

// Whether `name` is "<base>.<pid>-<n>.tmp" for some base.
bool IsAnyTemp(const std::string& name, long pid_limit, long* out_pid) {
  const std::size_t mark = name.size() - std::min(name.size(), sizeof kTempMark - 1);
  const std::size_t dot = mark == 0 ? std::string::npos : name.rfind('.', mark - 1);
  return dot != std::string::npos && dot > 0 &&
         IsTempOf(name, name.substr(0, dot), pid_limit, out_pid);
}

// Removes `temp` when no writer holds it (a writer that might still own it
// cannot be halfway through when it disappears).
bool RemoveUnheld(const std::string& temp) {
  PLATFORM_LOCK lock;
  if (PLATFORM_Lock(temp.c_str(), &lock) == PLATFORM_LOCK_BUSY) return false;
  const bool removed = PLATFORM_RemoveFile(temp.c_str()) != 0;
  PLATFORM_Unlock(&lock);
  return removed;
}
}  // namespace

PLATFORM_NEWFILE::~PLATFORM_NEWFILE() { PLATFORM_NewFileDiscard(this); }

int PLATFORM_NewFileOpen(PLATFORM_NEWFILE* out, const std::string& path, PLATFORM_NEWFILELOCK lock,
                         PLATFORM_NEWFILETARGET target) {
  PLATFORM_NewFileDiscard(out);
  out->path = path;
  out->mode = NewFileMode();
  out->replaces = false;
  out->keep_owner = false;
  out->owner_kept = true;
  struct stat old;
  if (target != PLATFORM_NEWFILE_ABSENT && stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    out->mode = old.st_mode & kPermissionBits;
    out->replaces = true;
    out->owner = old.st_uid;
    out->group = old.st_gid;
  }
  const std::string stem = path + "." + std::to_string(PLATFORM_ProcessId()) + "-";
  for (int n = 0; n < PLATFORM_NEWFILE_TRIES; ++n) {
    out->temp = stem + std::to_string(n) + kTempMark;
    // Created with O_EXCL, which never follows a link at the name.
    out->file.reset(PLATFORM_OpenNew(out->temp.c_str()));
    if (out->file) {
      // Without a lock (a file system that keeps none) the process id in
      // the name still keeps the file from being taken for a left-over.
      if (lock == PLATFORM_NEWFILE_LOCKED) (void)PLATFORM_Lock(out->temp.c_str(), &out->lock);
      // A buffer of the stream's own would be one block (4 KiB): a write
      // per block. Its pages cost only once written to.
      if (!out->buffer) out->buffer.reset(new (std::nothrow) char[kWriteBuffer]);
      if (out->buffer) std::setvbuf(out->file.get(), out->buffer.get(), _IOFBF, kWriteBuffer);
      return 1;
    }
    if (errno != EEXIST) break;
  }
  out->temp.clear();
  return 0;
}

int PLATFORM_NewFileWrite(PLATFORM_NEWFILE* file, const void* bytes, std::size_t size) {
  if (!file->file) return 0;
  if (size == 0) return 1;
  return PLATFORM_Write(file->file.get(), bytes, size);
}

int PLATFORM_NewFileRestart(PLATFORM_NEWFILE* file) {
  if (!file->file) return 0;
  FILE* f = file->file.get();
  return std::fseek(f, 0, SEEK_SET) == 0 && ftruncate(fileno(f), 0) == 0;
}

namespace {
// Gives the open temporary file the time it restores. The bytes still
// buffered go first: a write after the time was set would move it.
bool ApplyTime(FILE* f, const PLATFORM_FILEMETA& meta) {
  if (!meta.has_mtime) return true;
  if (std::fflush(f) != 0) return false;
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(meta.mtime), 0}};
  return futimens(fileno(f), times) == 0;
}
}  // namespace

void PLATFORM_NewFileKeepOwner(PLATFORM_NEWFILE* file) { file->keep_owner = file->replaces; }

int PLATFORM_NewFileCommit(PLATFORM_NEWFILE* file, PLATFORM_DURABILITY durability,
                           PLATFORM_NEWFILEPLACE place, bool* out_taken) {
  if (out_taken != nullptr) *out_taken = false;
  if (!file->file) return 0;
  // The bits an export restores of its item go over those of the file it
  // replaces, in the one change of bits the commit makes.
  if (file->meta.mode >= 0) file->mode = static_cast<mode_t>(file->meta.mode & 0777);
  const bool settled = Settle(file) && ApplyTime(file->file.get(), file->meta);
  const bool flushed = durability == PLATFORM_CACHED || PLATFORM_Flush(file->file.get()) != 0;
  const bool closed = PLATFORM_Close(file->file.release()) != 0;
  bool renamed = false;
  if (settled && flushed && closed) {
    const char* from = file->temp.c_str();
    renamed = place == PLATFORM_NEWFILE_CREATE ? PLATFORM_RenameNew(from, file->path.c_str())
                                               : PLATFORM_Rename(from, file->path.c_str());
    if (!renamed && place == PLATFORM_NEWFILE_CREATE && errno == EEXIST && out_taken != nullptr) {
      *out_taken = true;
    }
  }
  if (!renamed) {
    PLATFORM_NewFileDiscard(file);
    return 0;
  }
  file->temp.clear();
  if (durability == PLATFORM_DURABLE) {
    (void)PLATFORM_SyncDirectory(DirectoryOf(file->path).c_str());
  }
  return 1;
}

void PLATFORM_NewFileDiscard(PLATFORM_NEWFILE* file) {
  file->meta = PLATFORM_FILEMETA{};
  file->file.reset();
  if (!file->temp.empty()) {
    (void)PLATFORM_RemoveFile(file->temp.c_str());
    file->temp.clear();
  }
  PLATFORM_Unlock(&file->lock);
}

int PLATFORM_NewFileReplace(const std::string& path, const void* bytes, std::size_t size,
                            PLATFORM_DURABILITY durability) {
  PLATFORM_NEWFILE file;
  return PLATFORM_NewFileOpen(&file, path) && PLATFORM_NewFileWrite(&file, bytes, size) &&
                 PLATFORM_NewFileCommit(&file, durability)
             ? 1
             : 0;
}

void PLATFORM_NewFileTakeLock(PLATFORM_NEWFILE* file, PLATFORM_LOCK* out) {
  *out = std::move(file->lock);
}

void PLATFORM_NewFileRemoveStale(const std::string& path, std::vector<std::string>* out_removed) {
  out_removed->clear();
  const std::string dir = DirectoryOf(path);
  const std::string base = NameOf(path);
  std::vector<std::string> names;
  if (!PLATFORM_ListRegularFiles(dir.c_str(), &names, base + ".")) return;
  const long pid_limit = PidLimit();
  for (const std::string& name : names) {
    long pid = 0;
    if (!IsTempOf(name, base, pid_limit, &pid) || PLATFORM_ProcessRuns(pid)) continue;
    const std::string temp = path.substr(0, path.size() - base.size()) + name;
    if (RemoveUnheld(temp)) out_removed->push_back(temp);
  }
}

void PLATFORM_NewFileRemoveStaleIn(const std::string& dir, std::vector<std::string>* out_removed) {
  out_removed->clear();
  std::vector<std::string> names;
  if (!PLATFORM_ListRegularFiles(dir.c_str(), &names)) return;
  std::string prefix = dir;
  if (!prefix.empty() && prefix.back() != PLATFORM_SEPARATOR) prefix += PLATFORM_SEPARATOR;
  const long pid_limit = PidLimit();
  for (const std::string& name : names) {
    long pid = 0;
    if (!IsAnyTemp(name, pid_limit, &pid) || PLATFORM_ProcessRuns(pid)) continue;
    if (RemoveUnheld(prefix + name)) out_removed->push_back(name);
  }
}
