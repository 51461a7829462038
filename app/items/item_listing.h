// item_listing.h: finding items by a search pattern and printing them
// (ITEMLIST), shared by the item commands. Owns nothing; the found items
// are copies the caller keeps.
//
// Output forms of an item (text fields without their trailing blanks):
//   short: "[%s]\t" with the file name;
//   long:  "%s (size %d kb" with the file name and SIZE / 1024, then
//          ", compressed)" or ")", then "\n" for an empty or blank
//          description, else ":\n  Description: %s\n".
// A listing prints "\n" after its last item when there was one; with
// letter breaks it also prints "\n" before an item whose file name begins
// with another character than the one printed before it. Names and
// descriptions are printed as PLATFORM_Printable makes them.
#pragma once

#include <string>
#include <vector>

#include "records/kaspo.h"

enum ITEMFORM { ITEMLIST_SHORT, ITEMLIST_LONG };

// Whether `text` holds a control byte (below 0x20, or 0x7F).
[[nodiscard]] bool ITEMLIST_HasControl(const std::string& text);

// Asks "# Search pattern? " (1 to 160 bytes). False for "q".
[[nodiscard]] bool ITEMLIST_AskPattern(std::string* out_text);

// Finds the items whose file name or description matches the search text
// ("*" text "*" when that fits in 160 characters, else the text, every
// "*" a wildcard), by file name. On failure prints the collected error text and
// "db-error in KASPO_Select_Search!\n" (standard error), leaves `found`
// empty and returns 0.
[[nodiscard]] int ITEMLIST_Search(const std::string& text, std::vector<KASPO>* found);

void ITEMLIST_Print(const std::vector<KASPO>& items, ITEMFORM form, bool letter_breaks);
