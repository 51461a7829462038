// table_file.cpp: what the table-file writer and reader share.
#include "engine/tables/table_file.h"

#include "engine/catalog/datadir.h"
#include "platform/files.h"

std::string TBLFILE_Path(const char* db_name, const std::string& table, const char* extension) {
  return DATADIR_DatabasePath(db_name) + PLATFORM_SEPARATOR + table + extension;
}

std::vector<DBATTRIB*> TBLFILE_ListedAttribs(DBTABLE* table) {
  std::vector<DBATTRIB*> listed;
  for (DBATTRIB* attrib : CATALOG_Attribs(table)) {
    if (attrib->list) listed.push_back(attrib);
  }
  return listed;
}
