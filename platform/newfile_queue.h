// newfile_queue.h: new files written by a thread of their own
// (PLATFORM_NEWFILEQUEUE). Owns that thread, the bytes handed to it and not
// yet written, and the outcomes not yet collected.
//
// Writing thousands of small files is mostly the system's work: create,
// write, close and rename each. A thread beside the caller does it while
// the caller produces the next file's bytes. The files are written one
// after the other in the order they were begun, each exactly as
// PLATFORM_NEWFILE writes it (a temporary file renamed over the final
// path), and their outcomes come back in that order. The caller gives one
// file at a time: Begin, any Write and Restart, then Commit or Discard.
//
// What is on its way is bounded: PLATFORM_NEWFILE_INFLIGHT bytes handed
// over and not yet written (the bytes themselves, not the memory kept for
// them) and PLATFORM_NEWFILE_FILESINFLIGHT files begun and not yet ended
// by the writer. A caller that reaches either bound waits: at the bytes
// before it hands over more of them, at the files before it begins one.
// When no thread can be started, every file is written in the caller's
// own thread.
//
// The thread and its temporary files end with the process too: however it
// ends through platform/process.h (an exit, a quick or a fatal end, the
// end a signal asked for), the files not yet written are dropped, the one
// being written is removed and the thread is stopped before anything else
// of the end runs. Only a signal's immediate end (PLATFORM_SignalExit)
// leaves the one being written: nothing may be done inside a handler, and
// the next cleanup of the directory removes it.
// A recorded end request (platform/signals.h) ends the process before the
// next file.
//
// Threads: every member function is the owner's, on the main thread only;
// Run and Work alone run in the writer thread, which touches nothing of
// the caller's side. What both sides share sits behind mutex_.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/newfile.h"

// Bytes on their way: enough to keep the writer busy across the caller's
// pauses, little beside a container held in memory.
inline constexpr std::size_t PLATFORM_NEWFILE_INFLIGHT = std::size_t{8} << 20;
// Files begun and not yet ended by the writer: a small file costs the
// writer calls more than bytes, so many of them wait at this bound.
inline constexpr std::size_t PLATFORM_NEWFILE_FILESINFLIGHT = 64;

class PLATFORM_NEWFILEQUEUE {
 public:
  PLATFORM_NEWFILEQUEUE();
  // Finishes the files handed over (one begun and neither committed nor
  // discarded is discarded) and stops the thread.
  ~PLATFORM_NEWFILEQUEUE();
  PLATFORM_NEWFILEQUEUE(const PLATFORM_NEWFILEQUEUE&) = delete;
  PLATFORM_NEWFILEQUEUE& operator=(const PLATFORM_NEWFILEQUEUE&) = delete;

  // Starts the next file, to replace `path` (PLATFORM_NewFileOpen). When
  // an end was recorded, the process ends here instead.
  void Begin(const std::string& path, PLATFORM_NEWFILELOCK lock,
             PLATFORM_NEWFILETARGET target = PLATFORM_NEWFILE_ANY);
  // Appends bytes to the file begun; a file that did not open, or a write
  // that failed, makes its commit fail.
  void Write(const void* bytes, std::size_t size);
  // Drops what was written to the file so far (PLATFORM_NewFileRestart).
  void Restart();
  // Ends the file: renamed over its path (PLATFORM_NewFileCommit) with
  // `meta`, or removed without a trace.
  void Commit(PLATFORM_DURABILITY durability, const PLATFORM_FILEMETA& meta = {});
  void Discard();

  // The outcome of the oldest ended file not yet collected: whether it was
  // committed. False when none is ready; with `wait`, waits for the oldest
  // unless every ended file was collected.
  bool Collect(bool wait, bool* out_committed);

  // For the end of the process: drops the files not yet written, removes
  // the one being written and stops the thread. Nothing is collected after.
  void Abandon();

  // Whether one of the bounds is reached: the next Begin, or the next piece
  // handed over, may wait for the writer.
  [[nodiscard]] bool Full();

  // Tests only: the writer takes nothing more while paused, so that what
  // is on its way stays there. The end of the queue ends the pause.
  void PauseForTest(bool paused);

 private:
  enum class OPKIND { kBegin, kWrite, kRestart, kCommit, kDiscard, kStop };
  struct OP {
    OPKIND kind;
    std::vector<unsigned char> bytes;  // kWrite
    std::string path;                  // kBegin
    PLATFORM_NEWFILELOCK lock = PLATFORM_NEWFILE_LOCKED;
    PLATFORM_NEWFILETARGET target = PLATFORM_NEWFILE_ANY;
    PLATFORM_DURABILITY durability = PLATFORM_CACHED;
    PLATFORM_FILEMETA meta = {};  // kCommit
  };

  void Push(OP op);
  void PushStaged();
  void Run(OP& op);  // in the writing thread (or the caller's, without one)
  void Work();

  // The caller's side: bytes gathered into pieces of a useful size.
  std::vector<unsigned char> staged_;
  std::size_t ended_ = 0;      // files ended (committed or discarded)
  std::size_t collected_ = 0;  // outcomes collected

  // Shared, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<OP> ops_;
  std::size_t bytes_queued_ = 0;  // of the pieces on their way: their size
  std::size_t files_queued_ = 0;  // begun and not yet ended by the thread
  bool paused_ = false;
  std::deque<bool> outcomes_;
  std::vector<std::vector<unsigned char>> spare_;  // pieces written, to be filled again

  // Set before the thread starts and never changed while it runs: the
  // writer reads it, where thread_ itself is the owner's to join.
  bool threaded_ = false;

  // The writing thread's own.
  PLATFORM_NEWFILE file_;
  bool writes_ok_ = false;
  std::thread thread_;
};
