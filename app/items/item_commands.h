// item_commands.h: the commands of the main prompt that work on the items
// of the open container (ITEMS): add, change, delete, export, find, list
// and status. The command loop calls them only while a container path is
// set. Each returns to the main prompt; each that changes the tables sets
// APP_State().changed.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "records/kaspo.h"

void ITEMS_Add();     // "a": add files of the current directory as items
void ITEMS_Change();  // "c": change an item's file name or description
void ITEMS_Delete();  // "d": delete items found by a pattern
void ITEMS_Export();  // "e": write items back to files
void ITEMS_Find();    // "f": find items, long form
void ITEMS_List();    // "l": list items, short form
void ITEMS_Status();  // "t": the status line of the container
// "v": decodes the items found and checks each against its size and
// checksum, writing nothing; one line per damaged item, then a summary.
void ITEMS_Verify();

// The steps of the commands that the command line (app/command_line.h)
// runs without their dialogues.

// What every file of one add pass gets.
struct ITEMS_ADDSETTINGS {
  std::string description;
  bool compress = true;
  bool notices = true;  // "can take some time" before a large file
  // On a machine of two cores or more a second thread may read and
  // compress the next files of a pass while the current one is stored.
  bool ahead = true;
};

// The rows of both tables, counted once per add pass and kept up to date
// through it. A container section holds at most TABLEFILE_MAXRECORDS rows;
// a file that would take a table past that is refused before anything
// changes, so the container always stays saveable.
struct ITEMS_ROOM {
  int items = 0;
  int chunks = 0;
};
// 0 after printing why the rows could not be counted.
[[nodiscard]] int ITEMS_CountRows(ITEMS_ROOM* room);

enum class ITEMS_ADDED {
  kAdded,
  kRefused,  // this file is left out (the reason printed); the pass goes on
  kStop,     // the pass must end (the reason printed)
};
// One file of an add pass: where it is read and the item's name.
struct ITEMS_SOURCE {
  std::string path;
  std::string name;
};
// What the caller does after each file of a pass, told its index in the
// list and its result; false ends the pass.
using ITEMS_AFTERFILE = std::function<bool(std::size_t index, ITEMS_ADDED result)>;
// Adds each file as an item in list order, each in a transaction of its
// own: read and encoded first, so that its chunks are counted before
// anything changes; nothing is printed for a file that was added. The
// messages, items and rows are the same whether the files are encoded
// ahead (settings.ahead) or not.
// Encoded files that the pass did not reach are dropped.
void ITEMS_AddFiles(const std::vector<ITEMS_SOURCE>& files, const ITEMS_ADDSETTINGS& settings,
                    ITEMS_ROOM* room, const ITEMS_AFTERFILE& after);

// Deletes the item with its chunks and facts, in a transaction of its
// own. 0 after printing why (the transaction rolled back).
[[nodiscard]] int ITEMS_DeleteItem(KASPO* item);

// Every item, by file name (byte order). 0 after printing why not.
[[nodiscard]] int ITEMS_All(std::vector<KASPO>* out_items);

// Reads back and checks each of `items` as "v" does, printing a line per
// damaged item; 0 when the items' facts could not be read.
struct ITEMS_VERIFIED {
  int damaged = 0;
  int unchecked = 0;  // items without checksum
};
[[nodiscard]] int ITEMS_VerifyItems(const std::vector<KASPO>& items, ITEMS_VERIFIED* out);

// Gives every item without facts the checksum of its content as it reads
// back now, so that a container written before checksums were kept is
// upgraded by its next save. An item that does not read back whole, or
// not as long as its size, is left without (quietly: `v` names it).
void ITEMS_CompleteFacts();
