// fields.cpp: record fields by their descriptor forms.
#include "records/fields.h"

#include <cstring>

#include "client/datelib.h"
#include "client/value_strings.h"
#include "engine/types/values.h"

static_assert(sizeof(ADATI) == RECFIELD_DATISIZE && sizeof(ATIME) == RECFIELD_TIMESIZE);

int RECFIELD_HasInteger(int32_t field) { return field != DB_NOINTEGER; }

std::string RECFIELD_Text(const char* field) {
  std::string text(field);
  const std::size_t end = text.find_last_not_of(' ');
  text.resize(end == std::string::npos ? 0 : end + 1);
  return text;
}

void RECFIELD_SetText(char* field, const std::string& text, int size) {
  my_strncpy(field, text.c_str(), size);
}

int RECFIELD_DatiFromText(const std::string& text, unsigned char* out) {
  ADATI dati{};
  if (!DATI_IsValidString(text) || !DATI_FromString(&dati, text)) return 0;
  std::memcpy(out, &dati, sizeof dati);
  return 1;
}

int RECFIELD_TimeFromText(const std::string& text, unsigned char* out) {
  ATIME time{};
  if (!TIME_IsValidString(text) || !TIME_FromString(&time, text)) return 0;
  std::memcpy(out, &time, sizeof time);
  return 1;
}
