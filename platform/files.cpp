// files.cpp: files and directories on a POSIX system.
#include "platform/files.h"

#include "platform/fault.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace {
struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

// Closes a file descriptor when the scope ends.
class FdGuard {
 public:
  explicit FdGuard(int fd) : fd_(fd) {}
  ~FdGuard() {
    if (fd_ >= 0) close(fd_);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int get() const { return fd_; }
  // Closes now, so that a failing close (a full disk) can be reported.
  int Release() {
    int status = close(fd_);
    fd_ = -1;
    return status;
  }

 private:
  int fd_;
};

// Reading in steps keeps files whose size changes while they are read
// (or that report no size, like those under /proc) correct.
constexpr std::size_t kReadStep = 65536;   // bytes asked for per read call
constexpr mode_t kNewFileMode = 0666;      // before the umask, as for any new file
constexpr mode_t kPermissionBits = 07777;  // what a replacing file takes over
constexpr mode_t kPrivateMode = 0600;      // of a file made by PLATFORM_OpenNew

// Brings the data of `fd` to the disk; a signal does not count as failure.
int SyncFd(int fd) {
  int status;
  do {
    status = fsync(fd);
  } while (status != 0 && errno == EINTR);
  return status == 0 ? 1 : 0;
}

// Whether renameat2 failed because the system or the file system has no
// rename without replacing (then a link does the same), not because of
// the files.
bool NoSuchRename(int error) { return error == EINVAL || error == ENOSYS || error == ENOTSUP; }

// Whether link(2) failed because the file system keeps no hard links.
bool NoSuchLink(int error) { return error == EPERM || error == ENOSYS || error == ENOTSUP; }

std::string JoinForStat(const char* dir, const char* name) {
  std::string path = dir;
  if (!path.empty() && path.back() != PLATFORM_SEPARATOR) path += PLATFORM_SEPARATOR;
  return path + name;
}
// The target of the link at `path`, taken from the link's directory when
// it is relative. False when `path` is no link (or cannot be read).
bool ReadLink(const std::string& path, std::string* out) {
  std::vector<char> text(256);
  for (;;) {
    const ssize_t n = readlink(path.c_str(), text.data(), text.size());
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < text.size()) {
      out->assign(text.data(), static_cast<std::size_t>(n));
      break;
    }
    text.resize(text.size() * 2);
  }
  const std::size_t slash = path.rfind('/');
  if ((*out)[0] != '/' && slash != std::string::npos) *out = path.substr(0, slash + 1) + *out;
  return true;
}
}  // namespace

namespace {
PLATFORM_FILEKIND KindOf(const struct stat& info) {
  if (S_ISREG(info.st_mode)) return PLATFORM_REGULAR;
  if (S_ISDIR(info.st_mode)) return PLATFORM_DIRECTORY;
  return PLATFORM_OTHER;
}
}  // namespace

PLATFORM_FILEKIND PLATFORM_FileKind(const char* path) {
  struct stat info;
  if (stat(path, &info) != 0) return PLATFORM_MISSING;
  return KindOf(info);
}

PLATFORM_FILEKIND PLATFORM_OwnKind(const char* path, bool* out_is_link) {
  struct stat info;
  *out_is_link = false;
  if (lstat(path, &info) != 0) return PLATFORM_MISSING;
  *out_is_link = S_ISLNK(info.st_mode);
  return KindOf(info);
}

bool PLATFORM_Exists(const char* path) { return PLATFORM_FileKind(path) != PLATFORM_MISSING; }

bool PLATFORM_IsRegularFile(const char* path) {
  return PLATFORM_FileKind(path) == PLATFORM_REGULAR;
}

bool PLATFORM_IsDirectory(const char* path) {
  return PLATFORM_FileKind(path) == PLATFORM_DIRECTORY;
}

bool PLATFORM_IsSymbolicLink(const char* path) {
  struct stat info;
  return lstat(path, &info) == 0 && S_ISLNK(info.st_mode);
}

namespace {
// A directory entry and the kind its listing gave (DT_*).
struct DIRENTRY {
  std::string name;
  unsigned char type;
};

// The entries of `dir` but "." and ".." that begin with `prefix`.
bool ReadEntries(const char* dir, std::string_view prefix, std::vector<DIRENTRY>* out_entries) {
  out_entries->clear();
  DirPtr handle(opendir(dir));
  if (!handle) return false;
  while (struct dirent* entry = readdir(handle.get())) {
    const std::string_view name(entry->d_name);
    if (name != "." && name != ".." && name.substr(0, prefix.size()) == prefix) {
      out_entries->push_back({std::string(name), entry->d_type});
    }
  }
  return true;
}

// Whether the entry is a regular file, following a link. The listing's
// kind settles it without a look at the file, except for a link (which
// must be followed) and where the file system gives no kind.
bool IsRegularEntry(const char* dir, const DIRENTRY& entry) {
  if (entry.type != DT_LNK && entry.type != DT_UNKNOWN) return entry.type == DT_REG;
  return PLATFORM_FileKind(JoinForStat(dir, entry.name.c_str()).c_str()) == PLATFORM_REGULAR;
}

void TakeSortedNames(std::vector<DIRENTRY>* entries, std::vector<std::string>* out_names) {
  out_names->clear();
  out_names->reserve(entries->size());
  for (DIRENTRY& entry : *entries) out_names->push_back(std::move(entry.name));
  std::sort(out_names->begin(), out_names->end());
}
}  // namespace

int PLATFORM_ListEntries(const char* dir, std::vector<std::string>* out_names,
                         std::string_view prefix) {
  std::vector<DIRENTRY> entries;
  const bool read = ReadEntries(dir, prefix, &entries);
  TakeSortedNames(&entries, out_names);
  return read ? 1 : 0;
}

int PLATFORM_ListRegularFiles(const char* dir, std::vector<std::string>* out_names,
                              std::string_view prefix) {
  std::vector<DIRENTRY> entries;
  const bool read = ReadEntries(dir, prefix, &entries);
  std::erase_if(entries, [dir](const DIRENTRY& entry) { return !IsRegularEntry(dir, entry); });
  TakeSortedNames(&entries, out_names);
  return read ? 1 : 0;
}

int PLATFORM_ReadFile(const char* path, std::vector<unsigned char>* out_bytes) {
  out_bytes->clear();
  if (PLATFORM_FaultHit(PLATFORM_FAULT_READ)) return 0;
  FdGuard fd(open(path, O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return 0;
  struct stat info;
  if (fstat(fd.get(), &info) == 0 && info.st_size > 0) {
    // One step more than the size, so the read that finds the end does
    // not grow the buffer a second time.
    out_bytes->reserve(static_cast<std::size_t>(info.st_size) + kReadStep);
  }
  std::size_t used = 0;
  for (;;) {
    out_bytes->resize(used + kReadStep);
    ssize_t got = read(fd.get(), out_bytes->data() + used, kReadStep);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      out_bytes->clear();
      return 0;
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  out_bytes->resize(used);
  return 1;
}

int PLATFORM_WriteFile(const char* path, const void* data, std::size_t size) {
  FdGuard fd(open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode));
  if (fd.get() < 0) return 0;
  // An injected failure comes after the truncation, as a full disk would.
  if (PLATFORM_FaultHit(PLATFORM_FAULT_WRITE)) return 0;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t put = write(fd.get(), bytes + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return 0;
    done += static_cast<std::size_t>(put);
  }
  return fd.Release() == 0 ? 1 : 0;
}

int PLATFORM_MakeDirectory(const char* path) { return mkdir(path, 0777) == 0 ? 1 : 0; }

int PLATFORM_RemoveDirectory(const char* path) { return rmdir(path) == 0 ? 1 : 0; }

int PLATFORM_RemoveFile(const char* path) { return unlink(path) == 0 ? 1 : 0; }

FILE* PLATFORM_OpenRead(const char* path) {
  if (PLATFORM_FaultHit(PLATFORM_FAULT_OPEN)) return nullptr;
  return std::fopen(path, "rbe");
}

FILE* PLATFORM_OpenWrite(const char* path) {
  if (PLATFORM_FaultHit(PLATFORM_FAULT_OPEN)) return nullptr;
  return std::fopen(path, "wbe");
}

FILE* PLATFORM_OpenNew(const char* path) {
  if (PLATFORM_FaultHit(PLATFORM_FAULT_OPEN)) return nullptr;
  // The umask can only take bits away from 0600: no other user can open
  // the file from its first moment on.
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateMode);
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    const int saved = errno;
    close(fd);
    unlink(path);
    errno = saved;
  }
  return file;
}

int PLATFORM_Read(FILE* file, void* buffer, std::size_t size, std::size_t* out_got) {
  *out_got = 0;
  if (PLATFORM_FaultHit(PLATFORM_FAULT_READ)) return 0;
  *out_got = std::fread(buffer, 1, size, file);
  return *out_got == size || !std::ferror(file) ? 1 : 0;
}

int PLATFORM_Write(FILE* file, const void* data, std::size_t size) {
  if (PLATFORM_FaultHit(PLATFORM_FAULT_WRITE)) return 0;
  return std::fwrite(data, 1, size, file) == size ? 1 : 0;
}

int PLATFORM_Flush(FILE* file) {
  if (PLATFORM_FaultHit(PLATFORM_FAULT_FLUSH)) return 0;
  if (std::fflush(file) != 0 || std::ferror(file)) return 0;
  return SyncFd(fileno(file));
}

int PLATFORM_SyncDirectory(const char* dir) {
  if (PLATFORM_FaultHit(PLATFORM_FAULT_FLUSH)) return 0;
  FdGuard fd(open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return 0;
  return SyncFd(fd.get());
}

int PLATFORM_Close(FILE* file) { return std::fclose(file) == 0 ? 1 : 0; }

int PLATFORM_Rename(const char* from, const char* to) {
  if (PLATFORM_FaultHit(PLATFORM_FAULT_RENAME)) return 0;
  return std::rename(from, to) == 0 ? 1 : 0;
}

PLATFORM_SOURCEOPEN PLATFORM_OpenSource(const char* path, PLATFORM_FILEPTR* out_file,
                                        PLATFORM_SOURCEFACTS* out_facts) {
  out_file->reset();
  if (PLATFORM_FaultHit(PLATFORM_FAULT_OPEN)) return PLATFORM_SOURCE_FAILED;
  // A FIFO would block the open, a link could lead anywhere (a device of
  // endless bytes): neither is opened as what the listing showed.
  const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno == ELOOP ? PLATFORM_SOURCE_NOT_REGULAR : PLATFORM_SOURCE_FAILED;
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    close(fd);
    return PLATFORM_SOURCE_FAILED;
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    return PLATFORM_SOURCE_NOT_REGULAR;
  }
  const int flags = fcntl(fd, F_GETFL);
  FILE* file =
      flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ? nullptr : fdopen(fd, "rb");
  if (file == nullptr) {
    close(fd);
    return PLATFORM_SOURCE_FAILED;
  }
  // The content is read in large pieces, which need no buffer of the
  // stream; without one the stream does not look at the file again to
  // size it.
  if (std::setvbuf(file, nullptr, _IONBF, 0) != 0) {
    std::fclose(file);
    return PLATFORM_SOURCE_FAILED;
  }
  out_file->reset(file);
  out_facts->size = static_cast<int64_t>(st.st_size);
  out_facts->mode = static_cast<int>(st.st_mode & 07777);
  out_facts->mtime = static_cast<int64_t>(st.st_mtim.tv_sec);
  return PLATFORM_SOURCE_OPENED;
}

int PLATFORM_MakeDirectoriesBelow(const std::string& base, const std::string& relative) {
  int dir = open(base.empty() ? "." : base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return 0;
  for (std::size_t at = 0; dir >= 0 && at <= relative.size();) {
    std::size_t end = relative.find(PLATFORM_SEPARATOR, at);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(at, end - at);
    at = end + 1;
    if (part.empty()) continue;
    if (mkdirat(dir, part.c_str(), 0777) != 0 && errno != EEXIST) {
      close(dir);
      return 0;
    }
    const int next = openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(dir);
    dir = next;
  }
  if (dir < 0) return 0;
  close(dir);
  return 1;
}

int PLATFORM_RenameNew(const char* from, const char* to) {
  if (PLATFORM_FaultHit(PLATFORM_FAULT_RENAME)) return 0;
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 1;
  if (!NoSuchRename(errno)) return 0;
  // link(2) never replaces either; the file then has both names for a
  // moment, and keeps only the new one.
  if (link(from, to) == 0) {
    (void)unlink(from);
    return 1;
  }
  if (!NoSuchLink(errno)) return 0;
  // Neither way exists here (some network and user-space file systems):
  // the name is claimed by an empty file made exclusively, then replaced.
  const int claim = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateMode);
  if (claim < 0) return 0;
  close(claim);
  if (std::rename(from, to) == 0) return 1;
  const int error = errno;
  (void)unlink(to);
  errno = error;
  return 0;
}

int PLATFORM_TakeModeOf(const char* path, const char* like) {
  struct stat st {};
  if (stat(like, &st) != 0 || !S_ISREG(st.st_mode)) return 1;
  return chmod(path, st.st_mode & kPermissionBits) == 0 ? 1 : 0;
}

int PLATFORM_FinalPath(const std::string& path, std::string* out) {
  *out = path;
  for (int links = 0; links <= PLATFORM_MAXLINKS; ++links) {
    struct stat info;
    if (lstat(out->c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return 1;
    std::string next;
    if (!ReadLink(*out, &next) || next.empty()) return 1;
    *out = next;
  }
  return 0;
}
