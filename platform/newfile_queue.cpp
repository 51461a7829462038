// newfile_queue.cpp: the thread that writes new files, and its queue.
#include "platform/newfile_queue.h"

#include <pthread.h>

#include <algorithm>
#include <csignal>
#include <system_error>
#include <utility>

#include "platform/process.h"
#include "platform/signals.h"

namespace {
// Bytes handed to the thread at a time: few enough hand-overs, and one
// piece is written with one call.
constexpr std::size_t kPiece = std::size_t{1} << 20;
// Written pieces kept to be filled again. Each may have grown to a whole
// piece, so the memory beside the bounded bytes stays below this many
// pieces however small the files on their way are.
constexpr std::size_t kSpares = PLATFORM_NEWFILE_INFLIGHT / kPiece;

void AbandonAtEnd(void* queue) { static_cast<PLATFORM_NEWFILEQUEUE*>(queue)->Abandon(); }
}  // namespace

PLATFORM_NEWFILEQUEUE::PLATFORM_NEWFILEQUEUE() {
  // The thread starts with every signal blocked: a break or an end request
  // is handled where the program's state is, in the caller's thread.
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  const bool masked = pthread_sigmask(SIG_SETMASK, &all, &before) == 0;
  threaded_ = true;
  try {
    thread_ = std::thread([this] { Work(); });
  } catch (const std::system_error&) {
    // Without a thread the files are written in Push, one by one.
    threaded_ = false;
  }
  if (masked) (void)pthread_sigmask(SIG_SETMASK, &before, nullptr);
  PLATFORM_AddCleanup(AbandonAtEnd, this);
}

PLATFORM_NEWFILEQUEUE::~PLATFORM_NEWFILEQUEUE() {
  PLATFORM_RemoveCleanup(AbandonAtEnd, this);
  if (thread_.joinable()) {
    PauseForTest(false);
    Push(OP{OPKIND::kStop, {}, {}});
    thread_.join();
  }
  PLATFORM_NewFileDiscard(&file_);
}

void PLATFORM_NEWFILEQUEUE::Abandon() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      // Files never begun leave nothing; what they would count is of no
      // use to anyone any more.
      ops_.clear();
      ops_.push_back(OP{OPKIND::kStop, {}, {}});
      paused_ = false;
      changed_.notify_all();
    }
    thread_.join();
  }
  PLATFORM_NewFileDiscard(&file_);
}

void PLATFORM_NEWFILEQUEUE::Begin(const std::string& path, PLATFORM_NEWFILELOCK lock,
                                  PLATFORM_NEWFILETARGET target) {
  // Between two files the caller holds nothing half done; the end's
  // cleanup (Abandon) takes care of the thread's side.
  PLATFORM_EndIfRequested();
  staged_.clear();
  OP op{OPKIND::kBegin, {}, path};
  op.lock = lock;
  op.target = target;
  Push(std::move(op));
}

void PLATFORM_NEWFILEQUEUE::Write(const void* bytes, std::size_t size) {
  const auto* from = static_cast<const unsigned char*>(bytes);
  while (size > 0) {
    const std::size_t take = std::min(size, kPiece - staged_.size());
    // Grown by doubling but never past a piece: a small file's piece
    // keeps little memory.
    if (staged_.capacity() < staged_.size() + take) {
      staged_.reserve(std::min(kPiece, std::max(2 * staged_.capacity(), staged_.size() + take)));
    }
    staged_.insert(staged_.end(), from, from + take);
    from += take;
    size -= take;
    if (staged_.size() == kPiece) PushStaged();
  }
}

void PLATFORM_NEWFILEQUEUE::Restart() {
  staged_.clear();
  Push(OP{OPKIND::kRestart, {}, {}});
}

void PLATFORM_NEWFILEQUEUE::Commit(PLATFORM_DURABILITY durability, const PLATFORM_FILEMETA& meta) {
  PushStaged();
  OP op{OPKIND::kCommit, {}, {}};
  op.durability = durability;
  op.meta = meta;
  Push(std::move(op));
  ++ended_;
}

void PLATFORM_NEWFILEQUEUE::Discard() {
  staged_.clear();
  Push(OP{OPKIND::kDiscard, {}, {}});
  ++ended_;
}

bool PLATFORM_NEWFILEQUEUE::Collect(bool wait, bool* out_committed) {
  std::unique_lock<std::mutex> hold(mutex_);
  if (wait && collected_ < ended_) changed_.wait(hold, [this] { return !outcomes_.empty(); });
  if (outcomes_.empty()) return false;
  *out_committed = outcomes_.front();
  outcomes_.pop_front();
  ++collected_;
  return true;
}

bool PLATFORM_NEWFILEQUEUE::Full() {
  std::lock_guard<std::mutex> hold(mutex_);
  return bytes_queued_ >= PLATFORM_NEWFILE_INFLIGHT ||
         files_queued_ >= PLATFORM_NEWFILE_FILESINFLIGHT;
}

void PLATFORM_NEWFILEQUEUE::PauseForTest(bool paused) {
  std::lock_guard<std::mutex> hold(mutex_);
  paused_ = paused;
  changed_.notify_all();
}

void PLATFORM_NEWFILEQUEUE::PushStaged() {
  if (staged_.empty()) return;
  OP op{OPKIND::kWrite, std::move(staged_), {}};
  {
    // A piece the thread has written is filled again: a fresh one for
    // every file or megabyte would be new pages to fault in each time.
    std::lock_guard<std::mutex> hold(mutex_);
    if (spare_.empty()) {
      staged_ = std::vector<unsigned char>();
    } else {
      staged_ = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  Push(std::move(op));
}

void PLATFORM_NEWFILEQUEUE::Push(OP op) {
  if (!threaded_) {
    Run(op);
    return;
  }
  std::unique_lock<std::mutex> hold(mutex_);
  // Each bound holds back what it counts: a new file waits for fewer
  // files, a piece for fewer bytes. The rest (a restart, the end of a
  // file, a stop the thread must see to end) is never held back.
  if (op.kind == OPKIND::kBegin) {
    changed_.wait(hold, [this] { return files_queued_ < PLATFORM_NEWFILE_FILESINFLIGHT; });
  } else if (op.kind == OPKIND::kWrite) {
    changed_.wait(hold, [this] { return bytes_queued_ < PLATFORM_NEWFILE_INFLIGHT; });
  }
  bytes_queued_ += op.bytes.size();
  if (op.kind == OPKIND::kBegin) ++files_queued_;
  ops_.push_back(std::move(op));
  changed_.notify_all();
}

void PLATFORM_NEWFILEQUEUE::Work() {
  for (;;) {
    OP op;
    {
      std::unique_lock<std::mutex> hold(mutex_);
      changed_.wait(hold, [this] { return !ops_.empty() && !paused_; });
      op = std::move(ops_.front());
      ops_.pop_front();
    }
    if (op.kind == OPKIND::kStop) return;
    const std::size_t size = op.bytes.size();
    Run(op);
    std::lock_guard<std::mutex> hold(mutex_);
    bytes_queued_ -= size;
    if (op.kind == OPKIND::kWrite && spare_.size() < kSpares) {
      op.bytes.clear();
      spare_.push_back(std::move(op.bytes));
    }
    changed_.notify_all();
  }
}

void PLATFORM_NEWFILEQUEUE::Run(OP& op) {
  bool ended = false;
  bool committed = false;
  switch (op.kind) {
    case OPKIND::kBegin:
      // A file that did not open fails its commit.
      writes_ok_ = PLATFORM_NewFileOpen(&file_, op.path, op.lock, op.target) != 0;
      break;
    case OPKIND::kWrite:
      writes_ok_ = writes_ok_ && PLATFORM_NewFileWrite(&file_, op.bytes.data(), op.bytes.size());
      break;
    case OPKIND::kRestart: writes_ok_ = PLATFORM_NewFileRestart(&file_) != 0; break;
    case OPKIND::kCommit:
      file_.meta = op.meta;
      committed = writes_ok_ && PLATFORM_NewFileCommit(&file_, op.durability);
      PLATFORM_NewFileDiscard(&file_);
      ended = true;
      break;
    case OPKIND::kDiscard:
      PLATFORM_NewFileDiscard(&file_);
      ended = true;
      break;
    case OPKIND::kStop: break;
  }
  if (!ended) return;
  if (!threaded_) {
    outcomes_.push_back(committed);
    return;
  }
  std::lock_guard<std::mutex> hold(mutex_);
  --files_queued_;
  outcomes_.push_back(committed);
  changed_.notify_all();
}
