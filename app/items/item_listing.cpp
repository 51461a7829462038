// item_listing.cpp: search and listing forms of items.
#include "app/items/item_listing.h"

#include <algorithm>
#include <cstring>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/base/limits.h"
#include "platform/files.h"
#include "platform/terminal.h"
#include "records/fields.h"

namespace {
constexpr char kPatternPrompt[] = "# Search pattern? ";
constexpr char kSearchError[] = "db-error in KASPO_Select_Search!\n";
constexpr char kShort[] = "[%s]\t";
constexpr char kLongHead[] = "%s (size %d kb";
constexpr char kLongCompressed[] = ", compressed)";
constexpr char kLongPlain[] = ")";
constexpr char kLongDescription[] = ":\n  Description: %s\n";
constexpr int kKilo = 1024;

void PrintLong(const KASPO& item) {
  const std::string name = PLATFORM_Printable(RECFIELD_Text(item.filename));
  const std::string text = PLATFORM_Printable(RECFIELD_Text(item.description));
  CONSOLE_Print(kLongHead, name.c_str(), item.size / kKilo);
  CONSOLE_Print("%s", item.compressed == '1' ? kLongCompressed : kLongPlain);
  if (text.empty()) {
    CONSOLE_Print("\n");
  } else {
    CONSOLE_Print(kLongDescription, text.c_str());
  }
}
}  // namespace

bool ITEMLIST_HasControl(const std::string& text) {
  return std::any_of(text.begin(), text.end(), PLATFORM_IsControl);
}

bool ITEMLIST_AskPattern(std::string* out_text) {
  return ask_string(kPatternPrompt, out_text, APP_MAXPATTERN, 1);
}

int ITEMLIST_Search(const std::string& text, std::vector<KASPO>* found) {
  found->clear();
  const std::string pattern = KASPO_SearchPattern(text, APP_MAXPATTERN);
  KASPO item;
  KASPO_Init(&item);
  RECFIELD_SetText(item.filename, pattern, KASPO_FILENAMELEN);
  RECFIELD_SetText(item.description, pattern, KASPO_DESCRIPTIONLEN);
  if (!KASPO_Select_Search(&item, APPDB_Handle())) {
    // Hand out nothing of a search that failed half way.
    while (KASPO_Select_Search_Next(&item, APPDB_Handle())) {
    }
    APPDB_Report(kSearchError);
    return 0;
  }
  while (KASPO_Select_Search_Next(&item, APPDB_Handle())) found->push_back(item);
  return 1;
}

void ITEMLIST_Print(const std::vector<KASPO>& items, ITEMFORM form, bool letter_breaks) {
  char last_first = '\0';
  for (std::size_t k = 0; k < items.size(); ++k) {
    const KASPO& item = items[k];
    if (letter_breaks && k > 0 && item.filename[0] != last_first) CONSOLE_Print("\n");
    last_first = item.filename[0];
    if (form == ITEMLIST_SHORT) {
      CONSOLE_Print(kShort, PLATFORM_Printable(RECFIELD_Text(item.filename)).c_str());
    } else {
      PrintLong(item);
    }
  }
  if (!items.empty()) CONSOLE_Print("\n");
}
