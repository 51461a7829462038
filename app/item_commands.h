// item_commands.h: the commands of the main prompt that work on the items
// of the open container (ITEMS): add, change, delete, export, find, list
// and status. The command loop calls them only while a container path is
// set. Each returns to the main prompt; each that changes the tables sets
// APP_State().changed.
#pragma once

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

// Gives every item without facts the checksum of its content as it reads
// back now, so that a container written before checksums were kept is
// upgraded by its next save. An item that does not read back whole, or
// not as long as its size, is left without (quietly: `v` names it).
void ITEMS_CompleteFacts();
