// item_facts.cpp: item facts, the content check and restored file facts.
#include "app/items/item_facts.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "app/base/database.h"
#include "platform/report.h"
#include "records/fields.h"

namespace {
constexpr char kSelectError[] = "db-error in KFACTS_Select_All!\n";
constexpr char kUnreadable[] = "item '%s' is damaged!\n";
constexpr char kWrongSize[] = "item '%s' is damaged: %" PRIu64 " bytes instead of %" PRId32 "!\n";
constexpr char kWrongChecksum[] =
    "item '%s' is damaged: checksum %08" PRIx32 " instead of %08" PRIx32 "!\n";

}  // namespace

int ITEMFACTS_Load(ITEMFACTS_MAP* out_map) {
  out_map->clear();
  std::vector<KFACTS> rows;
  if (!KFACTS_Select_All(APPDB_Handle(), &rows)) {
    APPDB_Report(kSelectError);
    return 0;
  }
  out_map->reserve(rows.size());
  for (const KFACTS& row : rows) (*out_map)[RECFIELD_Text(row.kaspo_id)] = row;
  return 1;
}

const KFACTS* ITEMFACTS_Find(const ITEMFACTS_MAP& map, const KASPO& item) {
  const auto it = map.find(RECFIELD_Text(item.kaspo_id));
  uint32_t checksum = 0;
  if (it == map.end() || !KFACTS_Checksum(it->second, &checksum)) return nullptr;
  return &it->second;
}

int ITEMFACTS_Store(const char* kaspo_id, const BLOBJIO_FILEFACTS& facts) {
  KFACTS record;
  KFACTS_Make(&record, kaspo_id, facts.checksum, facts.mode, facts.mtime);
  return KFACTS_Store(&record, APPDB_Handle());
}

int ITEMFACTS_StoreChecksum(const char* kaspo_id, uint32_t checksum) {
  KFACTS record;
  KFACTS_MakeChecksum(&record, kaspo_id, checksum);
  return KFACTS_Store(&record, APPDB_Handle());
}

PLATFORM_FILEMETA ITEMFACTS_Meta(const KFACTS* facts) {
  PLATFORM_FILEMETA meta;
  if (facts == nullptr) return meta;
  if (RECFIELD_HasInteger(facts->mode) && facts->mode >= 0) meta.mode = facts->mode & 0777;
  if (facts->mtime > -9.0e15 && facts->mtime < 9.0e15) {
    meta.has_mtime = true;
    meta.mtime = static_cast<int64_t>(facts->mtime);
  }
  return meta;
}

void ITEMFACTS_CHECKSINK::Put(const unsigned char* data, std::size_t n) {
  length_ += n;
  state_ = CHECKSUM_Update(state_, data, n);
  if (next_ != nullptr) next_->Put(data, n);
}

void ITEMFACTS_CHECKSINK::Restart() {
  length_ = 0;
  state_ = CHECKSUM_START;
  if (next_ != nullptr) next_->Restart();
}

std::string ITEMFACTS_CHECKSINK::Damage(const std::string& shown, const KASPO& item,
                                        const KFACTS* facts) const {
  // An item without a recorded size has nothing to be held to.
  if (RECFIELD_HasInteger(item.size) &&
      (item.size < 0 || length_ != static_cast<uint64_t>(item.size))) {
    return PLATFORM_Format(kWrongSize, shown.c_str(), length_, item.size);
  }
  uint32_t stored = 0;
  if (facts == nullptr || !KFACTS_Checksum(*facts, &stored)) return {};
  const uint32_t actual = CHECKSUM_Value(state_);
  if (actual == stored) return {};
  return PLATFORM_Format(kWrongChecksum, shown.c_str(), actual, stored);
}

std::string ITEMFACTS_Unreadable(const std::string& shown) {
  return PLATFORM_Format(kUnreadable, shown.c_str());
}
