/* Message catalogue: the converters that fill menu texts and message templates from the
 * core catalogue pDrvCoreDB. */
#include <limits.h>
#include <string.h>

#include "NlsUtils.h"
#include "TextMenu.h"
#include "utils.h"

namespace {

constexpr int kMenuSet = 25;
constexpr int kItemTextSize = 128; /* item texts: at most 127 characters */
constexpr int kTemplateTextSize = 1024;

/* Stores a managed copy of message 25_<first+i>, cut to 127 characters, through store for
 * each of the count items. */
template <typename Store>
TextMenuItem *ConvertItems(TextMenuItem *items, int first, int count, Store store) {
  if (items == nullptr) return items;
  for (int i = 0; i < count && first <= INT_MAX - i; ++i) {
    char text[kItemTextSize];
    const char *found =
        NlsFetchStringN(pDrvCoreDB, text, sizeof text, NLS_FETCH_SET, kMenuSet, first + i);
    store(items[i], SaveStr("%s", found));
  }
  return items;
}

}  // namespace

char *NlsTtyMenuCvt(char **slot, int number) {
  if (slot == nullptr) return nullptr;
  char text[NLS_VALUE_SIZE];
  *slot = SaveStr("%s", NlsFetchString(pDrvCoreDB, text, NLS_FETCH_SET, kMenuSet, number));
  return *slot;
}

TextMenuItem *NlsTtyMenuItemCvt(TextMenuItem *items, int first, int count) {
  return ConvertItems(items, first, count, [](TextMenuItem &item, char *t) { item.pLabel = t; });
}

TextMenuItem *NlsTtyMenuItemStateCvt(TextMenuItem *items, int first, int count) {
  return ConvertItems(items, first, count, [](TextMenuItem &item, char *t) { item.pChoices = t; });
}

TextMenuItem *NlsTtyMenuItemPromptCvt(TextMenuItem *items, int first, int count) {
  return ConvertItems(items, first, count, [](TextMenuItem &item, char *t) { item.pPrompt = t; });
}

char *NlsGuiStrCvt(const char *tmpl, int set, char *out, int outlen) {
  if (out == nullptr || outlen <= 0) return out;
  memset(out, 0, static_cast<size_t>(outlen));
  if (tmpl == nullptr) return out;
  size_t room = static_cast<size_t>(outlen) - 1;
  size_t used = 0;
  auto put = [&](const char *text, size_t length) {
    if (length > room - used) length = room - used;
    memcpy(out + used, text, length);
    used += length;
  };
  int k = 0;
  for (const char *p = tmpl; *p && used < room;) {
    if (p[0] == '%' && (p[1] == '%' || p[1] == 's')) {
      if (p[1] == 's' && k < INT_MAX) {
        char text[kTemplateTextSize];
        const char *found = NlsFetchStringN(pDrvCoreDB, text, sizeof text, NLS_FETCH_SET, set, ++k);
        put(found, strlen(found));
      } else {
        put(p, 2); /* "%%" is copied as a pair, never read as the start of "%s" */
      }
      p += 2;
    } else {
      put(p++, 1);
    }
  }
  return out;
}
