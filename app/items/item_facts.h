// item_facts.h: what proves an item intact and restores its file
// (ITEMFACTS): the KFACTS rows of the items (records/kfacts.h), the check
// of a content read back against its item's size and checksum, and the
// permission bits and time an exported file gets back. Owns nothing
// between calls; a FACTSMAP belongs to its caller.
//
// An item without a KFACTS row (added through SQL, or read from a
// container written without facts) has no checksum: its content is
// checked against its size alone, and its file is exported as it was
// before facts existed.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "content/blobj_io.h"
#include "content/checksum.h"
#include "platform/newfile.h"
#include "records/kaspo.h"
#include "records/kfacts.h"

// The facts of the items, by item key without trailing blanks.
using ITEMFACTS_MAP = std::unordered_map<std::string, KFACTS>;

// Reads every KFACTS row into `out_map`. 0 after printing why.
[[nodiscard]] int ITEMFACTS_Load(ITEMFACTS_MAP* out_map);

// The facts of `item`; null when it has none (or none with a checksum).
const KFACTS* ITEMFACTS_Find(const ITEMFACTS_MAP& map, const KASPO& item);

// Stores the facts of the item `kaspo_id` as its file was read.
// REQUIRES: the caller holds the item's transaction.
[[nodiscard]] int ITEMFACTS_Store(const char* kaspo_id, const BLOBJIO_FILEFACTS& facts);

// Stores a checksum alone as the facts of the item `kaspo_id`: what an
// item without facts gets from its content as it reads back (its file's
// bits and time are not known).
[[nodiscard]] int ITEMFACTS_StoreChecksum(const char* kaspo_id, uint32_t checksum);

// The permission bits and time an exported file of an item gets back:
// none for an item without facts.
PLATFORM_FILEMETA ITEMFACTS_Meta(const KFACTS* facts);

// A sink that checks an item's content on its way to `next` (which may be
// null: the content is only checked): it counts and checksums the bytes.
class ITEMFACTS_CHECKSINK : public BLOBJIO_SINK {
 public:
  explicit ITEMFACTS_CHECKSINK(BLOBJIO_SINK* next) : next_(next) {}
  void Put(const unsigned char* data, std::size_t n) override;
  void Restart() override;

  // After the content was read whole: empty when it is the item's, else
  // the line that names the damaged item `shown` (printable) and says why.
  std::string Damage(const std::string& shown, const KASPO& item, const KFACTS* facts) const;
  // The checksum of the content taken so far.
  uint32_t Checksum() const { return CHECKSUM_Value(state_); }

 private:
  BLOBJIO_SINK* next_;
  uint64_t length_ = 0;
  uint32_t state_ = CHECKSUM_START;
};

// The line that follows what a failed read of the item `shown` printed.
std::string ITEMFACTS_Unreadable(const std::string& shown);
