/* Text menu engine: helpers shared by the engine's files (not part of the C interface). */
#ifndef COMMON_TEXTMENU_INTERNAL_H
#define COMMON_TEXTMENU_INTERNAL_H

#include <stdint.h>

#include <string>

#include "MemMgr.h"
#include "TextMenu.h"

namespace textmenu {

/* Number of items before the null label (0 for a null menu or item array). */
int ItemCount(const TextMenu *menu);

/* True for the item kinds whose Value is a text buffer (11, 12). */
inline bool IsTextKind(uint32_t kind) { return kind == TM_KIND_NAME || kind == TM_KIND_TEXT; }

/* The low 32 bits of a Value as the signed number they hold. */
inline int32_t Low32(intptr_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uintptr_t>(value)));
}

/* Text of a text item: its buffer, "" when it has none. */
inline const char *ItemText(const TextMenuItem *item) {
  const char *text = reinterpret_cast<const char *>(item->Value);
  return text != nullptr ? text : "";
}

/* Copies text into the value buffer of a kind-11/12 item (taken when it has none), cut to
 * 255 characters. */
void SetItemText(TextMenuItem *item, const char *text);

/* Reads one line of standard input into buf (size bytes) after flushing standard output.
 * The rest of a line that does not fit is read and dropped, and one "\r" before the line
 * end is removed. False at end of input (buf then empty). */
bool ReadInputLine(char *buf, int size);

/* printf into a string; the result may hold NUL bytes (a "%c" of 0). A null fmt gives "". */
std::string Format(const char *fmt, ...);

/* A managed text (a catalogue text) released when it goes out of scope. */
struct Text {
  explicit Text(char *text) : p(text) {}
  ~Text() { PutMem(p); }
  Text(const Text &) = delete;
  Text &operator=(const Text &) = delete;
  const char *get() const { return p != nullptr ? p : ""; }
  char *p;
};

/* Message 25_number of the core catalogue as a managed text (its key when missing). */
char *MenuText(int number);
/* Message set_number as a printf format whose conversions match signature (letters of
 * NlsFormatSignature); its key (no conversions) when missing or unfit. Managed. */
char *MenuFormat(int set, int number, const char *signature);

/* Choice n (1-based) of a kind-9/10 item as the tokenizer returns it (GetTokenBuf), or null
 * when the item has no such choice. */
char *LookUpChoice(const TextMenuItem *item, int n);
/* Sets pChoiceText of a kind-9 item to its current choice without moving it. */
void RefreshChoiceText(TextMenuItem *item);

/* Outcome of an entry check: the code of ValidateEntry and the message to show (empty
 * when none is shown; it may hold a NUL byte, see the literal mismatch). */
struct EntryCheck {
  int code = 0;
  std::string message;
};
/* ValidateEntry without the dialogue: tests text against pattern. */
EntryCheck CheckEntry(const char *text, const char *pattern);
/* The length message for [min, max] (30_44 when they are equal, else 30_42). */
std::string LengthMessage(int min, int max);

/* The process-wide point where "h" opens the terminal help, and where a pick-many item
 * would open the picker. */
void OpenMenuHelp();
unsigned char PickManyChoices(TextMenu *menu, int index, const char *option);

}  // namespace textmenu

#endif
