// blobj_data.cpp: the Blobj_Data record module.
#include "records/blobj_data.h"

#include <cstring>
#include <iterator>

#include "client/struct_assign.h"
#include "client/value_strings.h"
#include "records/record_io.h"

namespace {

constexpr char kNoPrimaryKeyCopy[] = "Blobj_Data_CopyPk: No primary key!\n";
constexpr char kNoPrimaryKeyCmp[] = "Blobj_Data_CmpPk: No primary key!\n";

constexpr RECIO_FIELD kFields[] = {
    {"BinData", offsetof(BLOBJ_DATA, bin_data), STRUCT_BINARY, 2 + RECORD_BINMAX},
};
constexpr RECIO_TABLE kShape = {"Blobj_Data", RECORD_TABLE_BLOBJ_DATA, BLOBJ_DATA_SIZE, kFields,
                                static_cast<int>(std::size(kFields))};

}  // namespace

int Blobj_Data_Size() { return BLOBJ_DATA_SIZE; }

void Blobj_Data_Init(BLOBJ_DATA* record) {
  std::memset(record, 0, sizeof *record);
  record->header.size = BLOBJ_DATA_SIZE;
  record->header.table_id = RECORD_TABLE_BLOBJ_DATA;
  VALSTR_BlankBinary(&record->bin_data, RECORD_BINMAX);
}

std::unique_ptr<BLOBJ_DATA> Blobj_Data_New() {
  auto record = std::make_unique<BLOBJ_DATA>();
  Blobj_Data_Init(record.get());
  return record;
}

void Blobj_Data_List_Init(ARRAY* list) { ARRAY_Init(list, RECORD_TABLE_BLOBJ_DATA); }

const char* Blobj_Data_Descriptor() {
  static const std::string descriptor = RECIO_Descriptor(kShape);
  return descriptor.c_str();
}

int Blobj_Data_Fill(BLOBJ_DATA* record, DBRESULT* result, int row, int status,
                    DBHANDLE* /*handle*/) {
  return RECIO_Fill(kShape, record, result, row, status);
}

void Blobj_Data_CopyPk(BLOBJ_DATA* /*to*/, const BLOBJ_DATA* /*from*/) {
  RECIO_Fatal(kNoPrimaryKeyCopy);
}

void Blobj_Data_CmpPk(const BLOBJ_DATA* /*a*/, const BLOBJ_DATA* /*b*/) {
  RECIO_Fatal(kNoPrimaryKeyCmp);
}

void Blobj_Data_CmpLk(const BLOBJ_DATA* /*a*/, const BLOBJ_DATA* /*b*/) {
  RECIO_NoLogicalKey(kShape);
}

std::string Blobj_Data_Csv(const BLOBJ_DATA* record) { return RECIO_Csv(kShape, record); }
