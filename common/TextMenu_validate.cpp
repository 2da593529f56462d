/* Text menu engine: entry validation (the pattern language of typed entries and settings
 * file names), the engine's message dialogue and the name checks. */
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <string_view>

#include "MemMgr.h"
#include "NlsUtils.h"
#include "TextMenu.h"
#include "TextMenu_internal.h"
#include "utils.h"

char *pErrIntRange = nullptr;
char *pErrFloatRange = nullptr;
char *pErrLongRange = nullptr;

using namespace textmenu;

namespace {

constexpr size_t kMatchedMax = 511; /* the matched-text buffer holds 512 bytes */

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsPrintable(char c) { return c >= 0x20 && c <= 0x7E; }

/* Reads a decimal int like atoi (blanks, sign, digits), held within the int range. */
int ReadBound(const char **s) {
  const char *p = *s;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  long long value = 0;
  for (; IsDigit(*p); ++p)
    if (value <= 2147483648LL) value = value * 10 + (*p - '0');
  if (negative) value = -value;
  *s = p;
  if (value > 2147483647LL) return 2147483647;
  if (value < -2147483647LL - 1) return -2147483647 - 1;
  return static_cast<int>(value);
}

void FetchRangeTexts() {
  if (pErrIntRange == nullptr) pErrIntRange = MenuFormat(25, 1003, "ii");
  if (pErrFloatRange == nullptr) pErrFloatRange = MenuFormat(25, 1004, "ii");
  if (pErrLongRange == nullptr) pErrLongRange = MenuFormat(25, 1024, "FF");
}

/* Bounds and modifiers of one pattern element. */
struct Element {
  int min = 0, max = 0;
  std::string extra;   /* "+c": accepted as well */
  std::string refused; /* "-c": refused (d) */
};

/* Reads "(min,max)" and, when modifiers is set, the "+c"/"-c" pairs after the element
 * letter at p. Returns the position after them. */
const char *ReadElement(const char *p, Element *e, bool modifiers) {
  if (*p == '(') {
    const char *close = strchr(p, ')');
    std::string bounds = close != nullptr ? std::string(p, close + 1) : std::string(p);
    e->max = getMinMax(bounds.c_str(), &e->min);
    p = close != nullptr ? close + 1 : p + strlen(p);
  }
  while (modifiers && (*p == '+' || *p == '-') && p[1] != '\0') {
    (*p == '+' ? e->extra : e->refused) += p[1];
    p += 2;
  }
  return p;
}

/* Reads "(min,max)" with fractional bounds; the position after ")". */
template <typename Real>
const char *ReadRealBounds(const char *p, Real *min, Real *max) {
  *min = *max = 0;
  if (*p != '(') return p;
  const char *close = strchr(p, ')');
  std::string bounds = close != nullptr ? std::string(p + 1, close) : std::string(p + 1);
  char *end = nullptr;
  Real lo = static_cast<Real>(strtold(bounds.c_str(), &end));
  if (end != bounds.c_str() && *end == ',') {
    const char *hiStart = end + 1;
    Real hi = static_cast<Real>(strtold(hiStart, &end));
    if (end != hiStart) {
      *min = lo;
      *max = hi;
    }
  }
  return close != nullptr ? close + 1 : p + strlen(p);
}

const char *NextSeparator(const char *p) {
  while (*p != '\0' && *p != '&' && *p != '|') ++p;
  return p;
}

/* The validation of one text against one pattern, step by step. */
class EntryChecker {
 public:
  EntryChecker(const char *text, const char *pattern) : t_(text), p_(pattern) {}

  EntryCheck Run() {
    while (true) {
      const char c = *p_;
      if (c == '\0' || c == '|') return {};
      if (c == ' ' || c == '\t' || c == '\n') {
        ++p_;
        continue;
      }
      if (c == '&') {
        ++p_;
        Restart();
        continue;
      }
      if (c == '!' || (c == 't' && p_[1] != '(')) return Refuse();
      bool failed;
      switch (c) {
        case 'A':
        case 'a':
        case 'p':
          failed = Class(c);
          break;
        case 'L':
        case 't':
          failed = Length();
          break;
        case 'd':
          if (Decimal()) return result_;
          failed = false;
          break;
        case 'x':
          if (Hex()) return result_;
          failed = false;
          break;
        case 'f':
          if (Real()) return result_;
          failed = false;
          break;
        case 'D':
          if (LongReal()) return result_;
          failed = false;
          break;
        default:
          failed = Literal(c);
          break;
      }
      if (!failed) continue;
      /* A failed element: the next alternative, or the failure. */
      p_ = NextSeparator(p_);
      if (*p_ != '|') return result_;
      ++p_;
      Restart();
    }
  }

 private:
  void Restart() {
    pos_ = 0;
    matched_.clear();
  }

  void Match(char c) {
    if (matched_.size() < kMatchedMax) matched_ += c;
  }

  bool Fail(int code, std::string message) {
    result_.code = code;
    result_.message = std::move(message);
    return true;
  }

  bool LengthFails(const Element &e) {
    const size_t len = t_.size();
    if (e.max == 0) return false;
    if (e.min >= 0 && len >= static_cast<size_t>(e.min) && len <= static_cast<size_t>(e.max))
      return false;
    return Fail(2, LengthMessage(e.min, e.max));
  }

  EntryCheck Refuse() {
    const char *word = p_ + 1;
    if (*word == '(') ++word;
    const char *end = strchr(word, ')');
    std::string_view refused(word, end != nullptr ? static_cast<size_t>(end - word) : strlen(word));
    if (t_ != refused) return {};
    Text fmt(MenuFormat(25, 1009, "s"));
    return {4, Format(fmt.get(), std::string(t_).c_str())};
  }

  bool Class(char letter) {
    Element e;
    p_ = ReadElement(p_ + 1, &e, true);
    for (; pos_ < t_.size(); ++pos_) {
      const char c = t_[pos_];
      bool ok = letter == 'a'   ? IsLetter(c)
                : letter == 'A' ? IsLetter(c) || IsDigit(c)
                                : IsPrintable(c);
      if (!ok && e.extra.find(c) == std::string::npos) {
        Text fmt(MenuFormat(25, letter == 'a' ? 1008 : 1007, "is"));
        return Fail(3, Format(fmt.get(), c, e.extra.c_str()));
      }
      Match(c);
    }
    return LengthFails(e);
  }

  bool Length() {
    Element e;
    p_ = ReadElement(p_ + 1, &e, false);
    return LengthFails(e);
  }

  /* Digits at the text position: their count, and their value when it fits an int. */
  size_t TakeDigits(long long *value, bool *fits) {
    size_t n = 0;
    *value = 0;
    *fits = true;
    while (pos_ + n < t_.size() && IsDigit(t_[pos_ + n])) {
      if (*value <= 2147483647LL) *value = *value * 10 + (t_[pos_ + n] - '0');
      if (*value > 2147483647LL) *fits = false;
      Match(t_[pos_ + n]);
      ++n;
    }
    pos_ = pos_ + n + 1 < t_.size() ? pos_ + n + 1 : t_.size();
    return n;
  }

  /* d: true when the validation ends here (a failure). */
  bool Decimal() {
    long long value;
    bool fits;
    const bool have = TakeDigits(&value, &fits) > 0;
    Element e;
    p_ = NextSeparator(ReadElement(p_ + 1, &e, true));
    for (char c : t_) {
      if (!IsDigit(c) || e.refused.find(c) != std::string::npos)
        return Fail(3, Format("Invalid digit:  %c\n", c));
    }
    if (e.max != 0) {
      if (!have || !fits || value < e.min || value > e.max)
        return Fail(1, Format(pErrIntRange, e.min, e.max));
    } else if (have && !fits) {
      return Fail(1, Format(pErrIntRange, 0, 2147483647));
    }
    return false;
  }

  /* x: a hexadecimal value at the text position; its characters are not tested. */
  bool Hex() {
    size_t i = pos_;
    if (i + 1 < t_.size() && t_[i] == '0' && (t_[i + 1] == 'x' || t_[i + 1] == 'X')) i += 2;
    long long value = 0;
    bool have = false, fits = true;
    for (; i < t_.size(); ++i) {
      const char c = t_[i];
      int digit = IsDigit(c)                               ? c - '0'
                  : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10
                                                           : -1;
      if (digit < 0) break;
      have = true;
      if (value <= 0xFFFFFFFFLL) value = value * 16 + digit;
      if (value > 0xFFFFFFFFLL) fits = false;
      Match(c);
    }
    pos_ = i + 1 < t_.size() ? i + 1 : t_.size();
    Element e;
    p_ = NextSeparator(ReadElement(p_ + 1, &e, false));
    if (e.max != 0 && (!have || !fits || value < e.min || value > e.max))
      return Fail(1, Format(pErrFloatRange, e.min, e.max));
    return false;
  }

  /* f: digits and at most one "." from the text position; the value within the bounds. */
  bool Real() {
    int dots = 0;
    for (size_t i = pos_; i < t_.size(); ++i) {
      const char c = t_[i];
      if (c == '.') {
        ++dots;
      } else if (!IsDigit(c)) {
        Text fmt(MenuFormat(25, 1006, "i"));
        return Fail(3, Format(fmt.get(), c));
      }
    }
    if (dots > 1) {
      Text fmt(MenuFormat(25, 1020, ""));
      return Fail(1, Format("%s", fmt.get()));
    }
    std::string digits(t_.substr(pos_));
    char *end = nullptr;
    double value = strtod(digits.c_str(), &end);
    const size_t used = static_cast<size_t>(end - digits.c_str());
    const bool have = used > 0;
    for (size_t i = 0; i < used; ++i) Match(digits[i]);
    pos_ = pos_ + used + 1 < t_.size() ? pos_ + used + 1 : t_.size();
    double min, max;
    p_ = NextSeparator(ReadRealBounds(p_ + 1, &min, &max));
    if (max != 0 && (!have || isnan(value) || value < min || value > max))
      return Fail(1, Format("This number must be between %f to %f.", min, max));
    return false;
  }

  /* D: a long double of digits only, within the bounds. */
  bool LongReal() {
    size_t n = 0;
    while (pos_ + n < t_.size() && IsDigit(t_[pos_ + n])) Match(t_[pos_ + n++]);
    const bool have = n > 0;
    long double value = have ? strtold(std::string(t_.substr(pos_, n)).c_str(), nullptr) : 0;
    pos_ = pos_ + n + 1 < t_.size() ? pos_ + n + 1 : t_.size();
    long double min, max;
    p_ = NextSeparator(ReadRealBounds(p_ + 1, &min, &max));
    for (char c : t_) {
      if (!IsDigit(c))
        return Fail(3, Format("Invalid character '%c'\nThis text may contain \"0123456789.\"", c));
    }
    if (max != 0 && (!have || value < min || value > max))
      return Fail(1, Format(pErrLongRange, min, max));
    return false;
  }

  bool Literal(char c) {
    ++p_;
    if (pos_ < t_.size() && t_[pos_] == c) {
      Match(c);
      ++pos_;
      return false;
    }
    result_.code = 3;
    result_.message.clear();
    if (!matched_.empty()) {
      Text fmt(MenuFormat(25, 1005, "iis"));
      result_.message = Format(fmt.get(), pos_ < t_.size() ? t_[pos_] : '\0', c, matched_.c_str());
    }
    return true;
  }

  std::string_view t_;
  const char *p_;
  size_t pos_ = 0;
  std::string matched_;
  EntryCheck result_;
};

/* The trailer of every message, then a wait for a line (none at end of input). */
void WaitForReturn() {
  Text trailer(MenuText(1001));
  fputs(trailer.get(), stdout);
  ReadInputLine(LineBuf, LINEBUF_SIZE);
}

}  // namespace

namespace textmenu {

/* printf into a string; the result may hold NUL bytes (a "%c" of 0). */
std::string Format(const char *fmt, ...) {
  if (fmt == nullptr) return std::string();
  va_list ap, copy;
  va_start(ap, fmt);
  va_copy(copy, ap);
  int n = vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    vsnprintf(&out[0], out.size(), fmt, ap);
    out.resize(static_cast<size_t>(n));
  }
  va_end(ap);
  return out;
}

bool ReadInputLine(char *buf, int size) {
  fflush(stdout);
  if (Gets(buf, size) == nullptr) {
    buf[0] = '\0';
    return false;
  }
  size_t len = strlen(buf);
  if (len + 1 == static_cast<size_t>(size)) {
    int c;
    while ((c = getchar()) != EOF && c != '\n') {
    }
  }
  if (len > 0 && buf[len - 1] == '\r') buf[len - 1] = '\0';
  return true;
}

char *MenuText(int number) {
  return NlsFetchString(pDrvCoreDB, nullptr, NLS_FETCH_SET, 25, number);
}

char *MenuFormat(int set, int number, const char *signature) {
  return NlsFetchFormat(pDrvCoreDB, set, number, signature);
}

std::string LengthMessage(int min, int max) {
  Text fmt(MenuFormat(30, min == max ? 44 : 42, "ii"));
  return Format(fmt.get(), min, min == max ? min : max);
}

EntryCheck CheckEntry(const char *text, const char *pattern) {
  if (pattern == nullptr) return {};
  FetchRangeTexts();
  return EntryChecker(text != nullptr ? text : "", pattern).Run();
}

}  // namespace textmenu

int ValidateEntry(const char *text, const char *pattern) {
  EntryCheck check = CheckEntry(text, pattern);
  if (check.code != 0 && !check.message.empty()) {
    fwrite(check.message.data(), 1, check.message.size(), stdout);
    WaitForReturn();
  }
  return check.code;
}

void PostMsg(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vprintf(fmt, ap);
  va_end(ap);
  WaitForReturn();
}

int getMinMax(const char *bounds, int *min) {
  int lo = 0, hi = 0;
  if (bounds != nullptr) {
    const char *p = bounds;
    if (*p != '\0' && !IsDigit(*p)) ++p;
    lo = ReadBound(&p);
    while (IsDigit(*p)) ++p;
    if (*p != '\0') ++p;
    hi = ReadBound(&p);
  }
  if (min != nullptr) *min = lo;
  return hi;
}

char *ValidateEntryLen(const char *text, const char *bounds) {
  int min = 4, max = 4;
  if (bounds != nullptr) max = getMinMax(bounds, &min);
  const size_t len = text != nullptr ? strlen(text) : 0;
  if (min >= 0 && len >= static_cast<size_t>(min) && max >= 0 && len <= static_cast<size_t>(max))
    return nullptr;
  snprintf(NlsBuf, sizeof NlsBuf, "%s", LengthMessage(min, max).c_str());
  return NlsBuf;
}

int ValidateEntryDigit(const char *text) {
  for (const char *p = text; p != nullptr && *p != '\0'; ++p)
    if (!IsDigit(*p)) return static_cast<unsigned char>(*p);
  return 0;
}

int ValidateEntryTty(const char *text, const char *bounds) {
  const char *message = ValidateEntryLen(text, bounds);
  if (message != nullptr) {
    PostMsg("%s", message);
    return 2;
  }
  int c = ValidateEntryDigit(text);
  if (c != 0) {
    PostMsg("Invalid digit:  %c\n", c);
    return 3;
  }
  return 0;
}

int TestName(const char *name) {
  for (const char *p = name; p != nullptr && *p != '\0'; ++p) {
    if (IsLetter(*p) || IsDigit(*p) || *p == '_' || *p == '-') continue;
    Text fmt(MenuFormat(25, 1002, "i"));
    std::string message = Format(fmt.get(), *p);
    fwrite(message.data(), 1, message.size(), stdout);
    Text wait(MenuText(1000));
    fputs(wait.get(), stdout);
    ReadInputLine(LineBuf, LINEBUF_SIZE);
    return 0;
  }
  return 1;
}

int TestNames(TextMenu *menu) {
  const int count = ItemCount(menu);
  for (int i = 0; i < count; ++i) {
    const TextMenuItem &item = menu->pItems[i];
    if (item.State == TM_STATE_HIDDEN) break;
    if (item.Kind != TM_KIND_NAME || ItemText(&item)[0] != '\0') continue;
    Text message(MenuText(1011));
    fputs(message.get(), stdout);
    ReadInputLine(LineBuf, LINEBUF_SIZE);
    return 0;
  }
  return 1;
}
