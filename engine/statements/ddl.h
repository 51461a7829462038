// ddl.h: the data definition statements, the handlers that change the
// catalogue and rewrite the database's definition file.
// Owns no state: the records belong to the catalogue (catalog.h), the
// definition file format to deffile.h.
//
// Messages read (after the command letter; 'a' names, 'd' integers):
//
//   | Letter   | Statement            | Tokens                                |
//   |----------|----------------------|---------------------------------------|
//   | '3'      | CREATE DATABASE      | 'a' database                          |
//   | '4'      | DROP DATABASE        | none (the connection's database)      |
//   | '5'      | CREATE TABLE         | 'a' table; per attribute 'a' name,    |
//   |          |                      | type kind, 'd' n for CHARACTER and    |
//   |          |                      | BINARY, optional 'F' (NOT NULL); 'x'  |
//   | '6'      | DROP TABLE           | 'a' table                             |
//   | '7', '8' | CREATE [UNIQUE] INDEX| 'a' index, 'a' table, 'a' per         |
//   |          |                      | attribute, 'x'                        |
//   | '9'      | DROP INDEX           | 'a' index                             |
//   | 'Q', 'U' | SET TABLE [SECURE]   | 'a' table                             |
//   | 'R'      | SAVE DATABASE        | none                                  |
//
// Every handler checks in a fixed order and answers '1' or one error reply.
// A statement that fails leaves the catalogue as it was, except where the
// message says "(please restart database)".
#pragma once

#include "engine/catalog/limits.h"

void DDL_CreateDatabase(int conn_id, const unsigned char* msg, int length);
void DDL_DropDatabase(int conn_id, const unsigned char* msg, int length);
void DDL_CreateTable(int conn_id, const unsigned char* msg, int length);
void DDL_DropTable(int conn_id, const unsigned char* msg, int length);
void DDL_CreateIndex(int conn_id, const unsigned char* msg, int length);
void DDL_CreateUniqueIndex(int conn_id, const unsigned char* msg, int length);
void DDL_DropIndex(int conn_id, const unsigned char* msg, int length);
void DDL_SetTable(int conn_id, const unsigned char* msg, int length);
void DDL_SetTableSecure(int conn_id, const unsigned char* msg, int length);
void DDL_SaveDatabase(int conn_id, const unsigned char* msg, int length);
