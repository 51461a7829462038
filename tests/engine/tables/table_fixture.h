// table_fixture.h: the static table T1 of database DB that the table-file
// tests write and read, below a fresh TARVIC_PATH.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/catalog/catalog.h"
#include "engine/tables/rowindex.h"
#include "engine/types/values.h"
#include "platform/files.h"
#include "support/engine_fixture.h"

using Bytes = std::vector<unsigned char>;

// Appends `v` little-endian, as the table files store numbers.
inline void Append32(Bytes* bytes, int32_t v) {
  for (int i = 0; i < 4; ++i) {
    bytes->push_back(static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * i)));
  }
}

// Table T1 (NAME CHARACTER(3) with a unique index, NUM INTEGER with an
// ordered list): row size 8, NAME at 0, NUM at 4. Static, in database DB
// below a fresh TARVIC_PATH.
class T1TableTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    home_.dir().MakeDir("Tarvic.dat/DB");
    Fresh();
  }

  std::string Dir() const { return home_.DataDir() + "/DB"; }
  std::string Path(const char* ext) const { return Dir() + "/T1" + ext; }

  // A new engine with an empty T1, as after start-up.
  void Fresh(char loaded = '1') {
    CATALOG_ResetForTest();
    ASSERT_TRUE(CATALOG_NewDatabase("DB", &db_));
    CATALOG_CountDatabase();
    db_->committed_ts = 1;
    table_ = CATALOG_NewTable(db_, "T1");
    table_->kind = '1';
    table_->loaded = loaded;
    int running = 0;
    ASSERT_TRUE(CATALOG_AddAttrib(table_, "NAME", DBTYPE_CHARACTER, 3, '0', &running, &name_));
    ASSERT_TRUE(CATALOG_AddAttrib(table_, "NUM", DBTYPE_INTEGER, 0, '0', &running, &num_));
    CATALOG_SetRowSize(table_, running);
    CATALOG_IndexAddAttrib(CATALOG_NewIndex(table_, "XNAME", 1), name_);
    CATALOG_IndexAddAttrib(CATALOG_NewIndex(table_, "XNUM", 0), num_);
    CATALOG_UseValueList(table_, num_, 1);
  }

  // NAME blank-padded to 3 characters and its NUL, then NUM.
  static Bytes Row(const char* name, int num) {
    Bytes row(3, ' ');
    std::memcpy(row.data(), name, std::strlen(name));
    row.push_back('\0');
    Append32(&row, num);
    return row;
  }

  // Adds a row visible from timestamp `ts` to T1 and its indexes; returns
  // its slot.
  int Insert(const char* name, int num, int ts = 1) {
    int slot = RowPool_NewSlot(&table_->rows, ts);
    Bytes row = Row(name, num);
    std::memcpy(ROWPOOL_Data(&table_->rows, slot), row.data(), row.size());
    ROWIDX_AddUnique(table_, slot, ts);
    ROWIDX_AddLists(table_, slot, {});
    return slot;
  }

  static void Put(const std::string& path, const Bytes& bytes) {
    ASSERT_TRUE(PLATFORM_WriteFile(path.c_str(), bytes.data(), bytes.size()));
  }

  static Bytes File(const std::string& path) {
    Bytes bytes;
    EXPECT_TRUE(PLATFORM_ReadFile(path.c_str(), &bytes)) << path;
    return bytes;
  }

  DBDATABASE* db_ = nullptr;
  DBTABLE* table_ = nullptr;
  DBATTRIB* name_ = nullptr;
  DBATTRIB* num_ = nullptr;
};
