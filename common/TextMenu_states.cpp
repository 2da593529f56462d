/* Text menu engine: item states and conditions. Choice lists with availability markers,
 * state references and conditions over other items' values (sub-menu selection), and the
 * state formats that switch items when a choice item changes. */
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "TextMenu.h"
#include "TextMenu_internal.h"
#include "utils.h"

using namespace textmenu;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

/* Reads an unsigned decimal number at *s; false without digits or beyond 32 bits. */
bool ReadNumber(const char **s, long long *out) {
  const char *p = *s;
  if (!IsDigit(*p)) return false;
  long long value = 0;
  bool fits = true;
  for (; IsDigit(*p); ++p) {
    if (value <= 0xFFFFFFFFLL) value = value * 10 + (*p - '0');
    if (value > 0xFFFFFFFFLL) fits = false;
  }
  *s = p;
  *out = value;
  return fits;
}

/* The number an item's Value holds for comparisons: masks unsigned, the rest signed. */
long long CompareValue(const TextMenuItem &item) {
  if (item.Kind == TM_KIND_PICK_MANY) return static_cast<uint32_t>(item.Value);
  return Low32(item.Value);
}

/* ---- Conditions ---- */

/* Recursive-descent evaluation of a condition: "|" over "&" over operands, an operand
 * being "!" operand, "(" condition ")" or a reference with an optional "A". Any text the
 * grammar does not allow makes the whole condition false. */
class ConditionParser {
 public:
  ConditionParser(TextMenu *menu, const char *text, int base)
      : menu_(menu), p_(text), base_(base) {}

  bool Evaluate() {
    bool value = Or();
    SkipBlanks();
    return value && ok_ && *p_ == '\0';
  }

 private:
  static constexpr int kMaxNesting = 100;

  void SkipBlanks() {
    while (*p_ == ' ' || *p_ == '\t') ++p_;
  }

  bool Or() {
    bool value = And();
    for (SkipBlanks(); ok_ && *p_ == '|'; SkipBlanks()) {
      ++p_;
      bool right = And();
      value = value || right;
    }
    return value;
  }

  bool And() {
    bool value = Operand();
    for (SkipBlanks(); ok_ && *p_ == '&'; SkipBlanks()) {
      ++p_;
      bool right = Operand();
      value = value && right;
    }
    return value;
  }

  bool Operand() {
    SkipBlanks();
    if (++depth_ > kMaxNesting) return Fail();
    bool value;
    if (*p_ == '!') {
      ++p_;
      value = !Operand();
    } else if (*p_ == '(') {
      ++p_;
      value = Or();
      SkipBlanks();
      if (*p_ != ')') return Fail();
      ++p_;
    } else {
      value = Reference();
    }
    --depth_;
    return value;
  }

  /* A reference "N.V", "+N.V" or "-N.V", then an optional "A". */
  bool Reference() {
    const char *start = p_;
    if (*p_ == '+' || *p_ == '-') ++p_;
    if (!SkipDigits() || *p_ != '.') return Fail();
    ++p_;
    if (*p_ == '-') ++p_;
    if (!SkipDigits()) return Fail();
    std::string ref(start, p_);
    int state = TestState(menu_, ref.c_str(), base_);
    if (*p_ == 'A') {
      ++p_;
      return state == 2;
    }
    return state != 0;
  }

  bool SkipDigits() {
    const char *start = p_;
    while (IsDigit(*p_)) ++p_;
    return p_ != start;
  }

  bool Fail() {
    ok_ = false;
    return false;
  }

  TextMenu *menu_;
  const char *p_;
  int base_;
  int depth_ = 0;
  bool ok_ = true;
};

/* ---- State formats ---- */

/* Splits a state format into tokens at "{", ",", ".", "}" and blanks, as the shared
 * tokenizer would (runs of delimiters count as one), without touching its state. */
class FormatScanner {
 public:
  explicit FormatScanner(const char *text) : p_(text) {}

  /* The next token; delim receives the delimiter that ended it (0 at the end) and
   * closedBefore whether a "}" was among the delimiters skipped before it. */
  bool Next(std::string *token, char *delim, bool *closedBefore) {
    *closedBefore = false;
    while (*p_ != '\0' && IsDelim(*p_)) *closedBefore |= *p_++ == '}';
    if (*p_ == '\0') return false;
    const char *start = p_;
    while (*p_ != '\0' && !IsDelim(*p_)) ++p_;
    token->assign(start, p_);
    *delim = *p_;
    if (*p_ != '\0') ++p_;
    return true;
  }

 private:
  static bool IsDelim(char c) { return strchr("{,.} ", c) != nullptr; }
  const char *p_;
};

bool EndsGroup(char delim) { return delim == '}' || delim == ' ' || delim == '\0'; }

/* An item index or value token: an optional "-" and digits, within 32 bits. */
bool TokenNumber(const std::string &token, long long *out) {
  const char *p = token.c_str();
  bool negative = *p == '-';
  if (negative) ++p;
  if (!ReadNumber(&p, out) || *p != '\0') return false;
  if (negative) *out = -*out;
  return *out >= INT32_MIN && *out <= INT32_MAX;
}

/* Formats being applied, outermost first: a P target already among them is skipped. */
std::vector<std::pair<const TextMenu *, int>> applying;

bool IsNumberKind(uint32_t kind) {
  return kind == TM_KIND_PICK_ONE || kind == TM_KIND_PICK_MANY || kind == TM_KIND_INT ||
         kind == TM_KIND_FLOAT;
}

/* The S rule for one target. */
void ApplySave(TextMenuItem *target, bool match, long long value) {
  if (!IsNumberKind(target->Kind)) return;
  if (match) {
    int32_t current = Low32(target->Value);
    if (target->Saved < 0 && current >= 0) target->Saved = current;
    if (target->Kind == TM_KIND_FLOAT)
      target->Value = TextMenuFloatBits(static_cast<float>(value));
    else if (target->Kind == TM_KIND_PICK_MANY)
      target->Value = static_cast<intptr_t>(static_cast<uint32_t>(value));
    else
      target->Value = static_cast<intptr_t>(value);
  } else if (target->Saved >= 0) {
    target->Value = target->Saved;
    target->Saved = -1;
  }
}

/* Applies one target of a group with letter; P runs the target's formats and callback. */
void ApplyTarget(TextMenu *menu, char letter, bool match, long long index, const long long *value) {
  if (index < 0 || index >= ItemCount(menu)) return;
  TextMenuItem *target = &menu->pItems[index];
  switch (letter) {
    case 'N':
      target->State = match ? TM_STATE_INACTIVE : TM_STATE_ACTIVE;
      break;
    case 'H':
      target->State = match ? TM_STATE_HIDDEN : TM_STATE_ACTIVE;
      break;
    case 'S':
      if (value != nullptr) ApplySave(target, match, *value);
      break;
    case 'P': {
      if (!match) break;
      for (const auto &entry : applying)
        if (entry.first == menu && entry.second == index) return;
      ProcessStateFormat(menu, static_cast<int>(index));
      target = &menu->pItems[index];
      if (target->Callback != nullptr) {
        applying.emplace_back(menu, static_cast<int>(index));
        target->Callback(menu, target);
        applying.pop_back();
      }
      break;
    }
    default:
      break;
  }
}

/* Position of the first character of choice n (zero-based) in a choice list, counted as
 * the tokenizer counts (empty places skipped, a backslash escapes); null when absent. */
char *ChoiceStart(char *list, int n) {
  char *p = list;
  for (int k = 0;; ++k) {
    while (*p == ',') ++p;
    if (*p == '\0') return nullptr;
    if (k == n) return p;
    while (*p != '\0' && *p != ',') p += (p[0] == '\\' && p[1] != '\0') ? 2 : 1;
  }
}

/* Writes marker over the first character of choice n of item. */
bool MarkChoice(TextMenuItem *item, int n, char marker) {
  if (item == nullptr || item->pChoices == nullptr || n < 0) return false;
  char *start = ChoiceStart(item->pChoices, n);
  if (start == nullptr) return false;
  *start = marker;
  return true;
}

}  // namespace

namespace textmenu {

char *LookUpChoice(const TextMenuItem *item, int n) {
  if (item->pChoices == nullptr || n < 1 || n > item->ChoiceCnt) return nullptr;
  return GetTokenN(item->pChoices, ",", n);
}

void RefreshChoiceText(TextMenuItem *item) {
  int32_t value = Low32(item->Value);
  item->pChoiceText = value >= 0 && value < INT32_MAX ? LookUpChoice(item, value + 1) : nullptr;
}

}  // namespace textmenu

int TestState(TextMenu *menu, const char *ref, int base) {
  if (ref == nullptr) return 0;
  const char *p = ref;
  char sign = 0;
  if (*p == '+' || *p == '-') sign = *p++;
  long long n, v;
  if (!ReadNumber(&p, &n) || *p++ != '.') return 0;
  bool negative = *p == '-';
  if (negative) ++p;
  if (!ReadNumber(&p, &v)) return 0;
  if (negative) v = -v;
  long long index = sign == '+' ? base + n : sign == '-' ? base - n : n;
  if (index < 0 || index >= ItemCount(menu)) return 0;
  const TextMenuItem &item = menu->pItems[index];
  if (CompareValue(item) != v) return 0;
  return item.State != TM_STATE_ACTIVE ? 2 : 1;
}

int TestStateCondition(TextMenu *menu, const char *cond, int base) {
  if (cond == nullptr) return 0;
  return ConditionParser(menu, cond, base).Evaluate() ? 1 : 0;
}

TextMenu *ValidateMenu(TextMenu *menu, int index) {
  if (index < 0 || index >= ItemCount(menu)) return nullptr;
  const TextMenuItem &item = menu->pItems[index];
  if (item.Kind != TM_KIND_SUBMENU || item.State != TM_STATE_ACTIVE) return nullptr;
  if (item.pFormat == nullptr) return reinterpret_cast<TextMenu *>(item.Value);
  TextMenu **menus = reinterpret_cast<TextMenu **>(item.Value);
  if (menus == nullptr) return nullptr;
  const char *p = item.pFormat;
  for (int k = 0;; ++k) {
    while (*p == ' ' || *p == '\t' || *p == '\n') ++p;
    if (*p == '\0') return nullptr;
    const char *end = p;
    while (*end != '\0' && *end != ' ' && *end != '\t' && *end != '\n') ++end;
    std::string condition(p, end);
    if (TestStateCondition(menu, condition.c_str(), index)) return menus[k];
    p = end;
  }
}

int TestFormatState(const char *list, intptr_t value) {
  if (list == nullptr) return 0;
  for (const char *p = list; *p != '\0';) {
    if (*p == '*') return 1;
    long long number;
    if (IsDigit(*p)) {
      if (ReadNumber(&p, &number) && number == static_cast<long long>(value)) return 1;
    } else {
      ++p;
    }
  }
  return 0;
}

TextMenu *ProcessStateFormat(TextMenu *menu, int index) {
  if (index < 0 || index >= ItemCount(menu)) return menu;
  const TextMenuItem *item = &menu->pItems[index];
  if (item->pFormat == nullptr || item->State != TM_STATE_ACTIVE) return menu;
  if (item->Kind != TM_KIND_PICK_ONE && item->Kind != TM_KIND_PICK_MANY) return menu;

  applying.emplace_back(menu, index);
  FormatScanner scan(item->pFormat);
  std::string head, token;
  char delim;
  bool closed;
  bool haveHead = scan.Next(&head, &delim, &closed);
  while (haveHead) {
    const TextMenuItem &self = menu->pItems[index]; /* a callback may rebuild the items */
    const char letter = head[0];
    const bool match = TestFormatState(head.c_str() + 1, CompareValue(self)) != 0;
    haveHead = false;
    if (EndsGroup(delim)) { /* a head without targets */
      haveHead = scan.Next(&head, &delim, &closed);
      continue;
    }
    while (scan.Next(&token, &delim, &closed)) {
      if (closed) { /* "{}" had no targets: this token starts the next group */
        head = token;
        haveHead = true;
        break;
      }
      long long target;
      bool isIndex = TokenNumber(token, &target);
      if (letter == 'S') {
        long long value;
        bool haveValue = false;
        if (delim == '.') {
          if (!scan.Next(&token, &delim, &closed)) break;
          haveValue = TokenNumber(token, &value);
        }
        if (isIndex && haveValue) ApplyTarget(menu, letter, match, target, &value);
      } else if (isIndex) {
        ApplyTarget(menu, letter, match, target, nullptr);
      }
      if (EndsGroup(delim)) {
        haveHead = scan.Next(&head, &delim, &closed);
        break;
      }
    }
  }
  applying.pop_back();
  return menu;
}

TextMenuItem *UpdateStateSelection(TextMenuItem *item) {
  if (item == nullptr) return nullptr;
  if (item->Kind != TM_KIND_PICK_ONE) return item;
  const int count = item->ChoiceCnt;
  for (int tries = 0; tries < count; ++tries) {
    RefreshChoiceText(item);
    if (item->pChoiceText == nullptr || item->pChoiceText[0] != ' ') return item;
    item->Previous = item->Value;
    item->Value = (Low32(item->Value) + 1) % count;
  }
  RefreshChoiceText(item);
  return item;
}

TextMenuItem *HideStateSelection(TextMenuItem *item, int n) {
  if (MarkChoice(item, n, ' ')) UpdateStateSelection(item);
  return item;
}

TextMenuItem *ShowStateSelection(TextMenuItem *item, int n) {
  MarkChoice(item, n, '_');
  return item;
}
