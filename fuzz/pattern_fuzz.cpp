/* Fuzz target of the menu engine's small languages. The input is a pattern, a NUL or
 * newline, and an entry: the entry is validated against the pattern without the dialogue
 * (the core of ValidateEntry), and the pattern is also read as a condition and as a state
 * format over a small menu. Checks the result codes and that a passing entry has no
 * message. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "TextMenu.h"
#include "TextMenu_internal.h"
#include "utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  my_name = const_cast<char *>("pattern_fuzz");
  const std::string input(reinterpret_cast<const char *>(data), size);
  const size_t cut = input.find_first_of(std::string("\n\0", 2));
  const std::string pattern = input.substr(0, cut);
  const std::string entry = cut == std::string::npos ? "" : input.substr(cut + 1);

  textmenu::EntryCheck check = textmenu::CheckEntry(entry.c_str(), pattern.c_str());
  if (check.code < 0 || check.code > 4) abort();
  if (check.code == 0 && !check.message.empty()) abort();

  static char choices[] = "_a,_b, c";
  TextMenuItem items[6] = {};
  for (int i = 0; i < 5; ++i) {
    items[i].pLabel = "x";
    items[i].Kind = i < 2 ? TM_KIND_PICK_ONE : TM_KIND_INT;
    items[i].pChoices = i < 2 ? choices : nullptr;
    items[i].Saved = -1;
  }
  items[0].pFormat = pattern.c_str();
  TextMenu menu = {"M", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
  InitMenu(&menu, 0);
  int holds = TestStateCondition(&menu, pattern.c_str(), 2);
  if (holds != 0 && holds != 1) abort();
  for (int i = 0; i < 5; ++i)
    if (items[i].State > TM_STATE_HIDDEN) abort();
  strcpy(choices, "_a,_b, c");
  return 0;
}
