// item_export.h: items written back to files (EXPORT), for the dialogue's
// "e" and the command line's extraction, and the reading of many items'
// contents in their order (ITEMREADER), which verify shares. Owns the
// writer thread of one export and the notes on its items until it ends.
//
// Each item goes to the target directory under its file name, which may
// hold directories below it ("docs/a.txt"): those are made as needed,
// none through a symbolic link. A name that could leave the target
// directory (a leading "/", an empty component, "." or "..") is refused.
// The content goes to a temporary file beside the target, checked against
// the item's size and checksum, and renamed over the target once complete
// with the item's permission bits and time: a write, a read or a check
// that fails leaves a file already there as it was. What is said of each
// item comes in the order of the items. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "app/container/container_file.h"
#include "content/blobj_io.h"
#include "records/kaspo.h"

// What an export does with a file already at an item's target.
enum EXPORTEXISTING {
  EXPORT_ASK,      // "File already exists. Overwrite? (y/n/q) "
  EXPORT_REPLACE,  // replaces it without a question
  EXPORT_KEEP,     // keeps it and reports the item as not exported
};

struct EXPORTSETTINGS {
  std::string dir;  // where the files go
  EXPORTEXISTING existing = EXPORT_ASK;
  // The line per file written: the dialogue's "  file '%s' exported", or
  // the path alone (the command line); none when quiet.
  bool path_lines = false;
  bool quiet = false;
  // The open container, whose file no export may replace; none when null.
  const CONTAINERFILE* container = nullptr;
};

struct EXPORTRESULT {
  int written = 0;    // files written
  int failed = 0;     // items refused, damaged, not written, or kept out by EXPORT_KEEP
  bool left = false;  // the user left at the overwrite question
};

// Exports `items` in their order. Every problem is printed on standard
// error, naming the item or its file.
// Removes the temporary files in `dir` that writes of ended processes left
// there (exports cut short), naming each on standard output.
void EXPORT_RemoveStaleTemps(const std::string& dir);

EXPORTRESULT EXPORT_Items(const std::vector<KASPO>& items, const EXPORTSETTINGS& settings);

// Whether an item's file name may be written below a target directory:
// relative, its components ("/" between them) neither empty nor "." nor
// "..". The dialogue's change command holds new names to the same rule.
[[nodiscard]] bool EXPORT_IsSafeName(const std::string& name);

// The contents of the items found, read in their order: when there are
// many, their chunk rows are found in one walk and read in one
// transaction, a group at a time across items; otherwise, or when that
// fails, one by one, which reports what went wrong per item.
class ITEMREADER {
 public:
  explicit ITEMREADER(const std::vector<KASPO>& items);
  ~ITEMREADER();
  ITEMREADER(const ITEMREADER&) = delete;
  ITEMREADER& operator=(const ITEMREADER&) = delete;

  // Reads the item's content into `sink` (BLOBJIO_ReadItem). 0 after
  // printing why it could not be read; a failed commit ends the process.
  [[nodiscard]] int Read(const KASPO& item, BLOBJIO_SINK* sink);

 private:
  BLOBJIO_BATCH batch_;
  bool batched_ = false;
};
