// ddl_internal.h: pieces shared by the data definition handlers (ddl*.cpp).
// Not for other modules.
#pragma once

#include <string>
#include <string_view>

#include "engine/catalog/catalog.h"

// 1 when the data directory and the definition file of database `db_name`
// exist: only then does a statement delete files of the database.
[[nodiscard]] int DDL_DatabaseFilesExist(const char* db_name);

// Removes the file at `path`. A failure prints "(TARVIC) Error deleting
// file '%s'!\n" and the system's reason and returns 0; callers go on.
int DDL_RemoveFile(const std::string& path);

// Error replies for names the catalogue or the files cannot hold.
void DDL_ReplyInvalidName(std::string_view statement, const std::string& name);
