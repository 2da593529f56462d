/* The string toolkit: the own-state tokenizer, splitting and list lookups, sorting in a buffer
 * of the input's exact size, searches, trimmers and filters, byte copies and length units. */
#include <gtest/gtest.h>
#include <locale.h>
#include <string.h>

#include <memory>
#include <string>

#include "utils.h"

namespace {

std::string S(const char *p) { return p ? p : "(null)"; }

TEST(StrTools, GetTokenDKeepsItsOwnScan) {
  char outA[TOKEN_SIZE], outB[TOKEN_SIZE];
  char *a = nullptr, *b = nullptr;
  EXPECT_EQ(S(GetTokenD("a,b", ",", &a, outA)), "a");
  EXPECT_EQ(chTokenDel, ',');
  EXPECT_EQ(S(GetToken("g1 g2", " ")), "g1");  // a shared scan and a second own scan between
  EXPECT_EQ(S(GetTokenD("  x\\ty\\,z, w\\", " ,", &b, outB)), "x\ty,z");
  EXPECT_EQ(S(GetTokenD(nullptr, ",", &a, outA)), "b");
  EXPECT_EQ(chTokenDel, 0);
  EXPECT_EQ(GetTokenD(nullptr, ",", &a, outA), nullptr);
  EXPECT_EQ(S(GetTokenD(nullptr, " ,", &b, outB)), "w");  // the lone final backslash is dropped
  EXPECT_EQ(S(GetToken(nullptr, " ")), "g2");

  // Line mode: a token ended by a newline gives null and the scan stays before it.
  const char *text = "word\nnext";
  a = const_cast<char *>(text);
  EXPECT_EQ(GetTokenD(TOKEN_LINE_MODE, "\n ", &a, outA), nullptr);
  EXPECT_EQ(chTokenDel, '\n');
  EXPECT_EQ(a, text);
  EXPECT_EQ(S(GetTokenD(nullptr, "\n ", &a, outA)), "word");
  EXPECT_EQ(S(GetTokenD(TOKEN_LINE_MODE, "\n ", &a, outA)), "next");

  // A long token is cut at 127 characters and consumed whole.
  std::string longText(200, 'k');
  longText += " end";
  EXPECT_EQ(S(GetTokenD(longText.c_str(), " ", &a, outA)), std::string(127, 'k'));
  EXPECT_EQ(S(GetTokenD(nullptr, " ", &a, outA)), "end");
  EXPECT_EQ(GetTokenD("x", " ", nullptr, outA), nullptr);
  EXPECT_EQ(GetTokenD("x", " ", &a, nullptr), nullptr);
}

TEST(StrTools, SplittingAndListLookups) {
  char text[] = "  a b  c ";
  char *f[3] = {text, text, text};
  EXPECT_EQ(ParseStr(text, " ", f, 2), 2);
  EXPECT_EQ(S(f[0]) + "|" + S(f[1]), "a|b");
  EXPECT_EQ(f[2], text);                     // beyond max: never written
  EXPECT_EQ(memcmp(text + 6, " c ", 4), 0);  // after b's delimiter: untouched
  EXPECT_EQ(ParseStr(nullptr, " ", f, 2), 0);
  EXPECT_EQ(f[0], nullptr);
  EXPECT_EQ(ParseStr(text, nullptr, f, 2) + ParseStr(text, " ", f, -1), 0);

  struct {
    const char *word, *list;
    unsigned c;  // FindTokenC
  } finds[] = {{"ABC", ",x,abc,", 2}, {"ab", ",x,abc,", 0}, {"c", ",a,b,c", 3},
               {"X", " . .. x ", 3},  {"", ",a,,", 0},      {nullptr, ",a,", 0},
               {"a", nullptr, 0}};
  for (const auto &t : finds) EXPECT_EQ(FindTokenC(t.word, t.list), t.c) << S(t.word);
  struct {
    const char *list, *word;
    unsigned pos;
  } delims[] = {{"a:b:c", "c", 3}, {"a:b:c", "d", 0}, {":a", "", 1},     {":a", "a", 2},
                {"a:b:", "", 0},   {"a:bc", "b", 0},  {nullptr, "a", 0}, {"a", nullptr, 0}};
  for (const auto &t : delims) {
    EXPECT_EQ(FindTokenWithDelim(t.list, t.word, ':'), t.pos) << S(t.list) << " " << S(t.word);
  }
}

TEST(StrTools, SortTokensStaysInsideItsInput) {
  struct {
    const char *in;
    char delim;
    int nocase;
    const char *out;
  } cases[] = {
      {" pear apple fig", ' ', 0, " apple fig pear"},
      {",abc,ab", ',', 0, ",ab,abc"},
      {",ab,abc", ',', 0, ",ab,abc"},
      {"b,B,a,A", ',', 1, "a,A,b,B"},
      {"b,B,a,A", ',', 0, "A,B,a,b"},
      {"c,a\\,z,b", ',', 0, "a\\,z,b,c"},
      {",,b,,,a,c,", ',', 0, ",,a,,,b,c,"},
      {"one", ',', 0, "one"},
      {"", ',', 0, ""},
  };
  for (const auto &t : cases) {
    size_t size = strlen(t.in) + 1;  // exactly the input: ASan sees any byte written past it
    std::unique_ptr<char[]> buf(new char[size]);
    memcpy(buf.get(), t.in, size);
    EXPECT_EQ(SortTokens(buf.get(), t.delim, t.nocase), buf.get());
    EXPECT_STREQ(buf.get(), t.out) << t.in;
  }
  EXPECT_EQ(SortTokens(nullptr, ',', 0), nullptr);
}

TEST(StrTools, Searches) {
  const char *esc = "a\\,b,c", *dots = "a.b.c", *abab = "abab", *hay = "xHeLLo", *aaa = "aaa";
  auto at = [](const char *p, const char *base) { return p ? p - base : -1L; };
  struct {
    long got, want;
  } cases[] = {
      {at(StrChr(esc, ','), esc), 4},
      {at(StrChr("ab\\", 'x'), ""), -1},  // lone backslash
      {at(StrChr(nullptr, 'a'), ""), -1},
      {at(StrNChr(dots, '.', 2), dots), 3},
      {at(StrNChr(dots, '.', 3), dots), -1},
      {at(StrNChr(dots, '.', 0), dots), -1},
      {at(StrNStr(aaa, "aa", 2), aaa), 1},
      {at(StrNStr(abab, "ab", 1), abab), 0},
      {at(StrNStr(abab, "ab", 3), abab), -1},
      {at(StrNStr(abab, "ab", 0), abab), -1},
      {at(StrNStr("", "a", 1), ""), -1},
      {at(StrCaseStr(hay, "hello"), hay), 1},
      {at(StrCaseStr(hay, "helloo"), hay), -1},
      {at(StrCaseStr(hay, ""), hay), -1},
      {at(StrCaseStr(nullptr, "a"), hay), -1},
      {StrLen("abc") + StrLen(nullptr), 3},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
  }
  EXPECT_STREQ(SkipSpace(" \t\n\v\f\rx "), "x ");
  EXPECT_EQ(SkipSpace(nullptr), nullptr);
}

TEST(StrTools, TrimmersAndFilters) {
  std::string longName = std::string(130, 'n') + ".ext";
  struct {
    const char *in, *ext, *pathExt, *pathName;
  } cases[] = {
      {"a.b.c", "a", "a", "a.b.c"},
      {".profile", ".profile", ".profile", ".profile"},
      {"..x.y", "..x", "..x", "..x.y"},
      {"/x/y/file.tar.Z", "/x/y/file", "file", "x"},
      {"dir/name.ext", "dir/name", "name", "ext"},
      {"../dir/file", "../dir/file", "file", "dir/file"},
      {"./x/y", "./x/y", "y", "."},
      {"/a/b.c", "/a/b", "b", "c"},
      {"..", "..", "..", ""},
      {"", "", nullptr, ""},
      {"//", "//", nullptr, ""},
      {nullptr, "", "", ""},
      {longName.c_str(), "", "", ""},
  };
  for (const auto &t : cases) {
    EXPECT_EQ(S(StripExt(t.in)), S(t.ext)) << S(t.in);
    EXPECT_EQ(S(StripPathExt(t.in)), S(t.pathExt)) << S(t.in);
    EXPECT_EQ(S(StripPathName(t.in)), S(t.pathName)) << S(t.in);
  }
  std::string longPiece = "d/" + std::string(140, 'p');
  EXPECT_STREQ(StripPathName(longPiece.c_str()), "");
  EXPECT_STREQ(StripPathName((longPiece + ".e").c_str()), "e");
  GetToken("s1 s2", " ");
  StripPathName("a/b.c");
  EXPECT_EQ(S(GetToken(nullptr, " ")), "s2");  // the shared scan goes on undisturbed

  char bs[] = "\\a\\\\b\\";
  EXPECT_STREQ(StripAllBackslashes(bs), "ab");
  setlocale(LC_ALL, "C.UTF-8");  // the classes are ASCII whatever the locale
  char np0[] = "a\tb\nc\r\x80\xff~ d", np1[] = "a\tb\nc\r\x80\xff~ d";
  EXPECT_STREQ(StripNonPrint(np0, 0), "abc~ d");
  EXPECT_STREQ(StripNonPrint(np1, 1), "ab\nc\r~ d");
  EXPECT_EQ(StripNonPrint(nullptr, 1), nullptr);
}

TEST(StrTools, BytesAndUnits) {
  unsigned char b[] = {1, 2, 3, 4, 5};
  SetVarContent(b, b, 2, 1);
  EXPECT_EQ(memcmp(b, "\x02\x01\x03\x04\x05", 5), 0);
  SetVarContent(b, b, 4, 0x101);
  EXPECT_EQ(memcmp(b, "\x04\x03\x01\x02\x05", 5), 0);
  SetVarContent(b + 1, b, 4, 0x100);  // overlapping, forward
  EXPECT_EQ(memcmp(b, "\x04\x04\x03\x01\x02", 5), 0);
  char out[4] = {0};
  EXPECT_EQ(SetVarContent(out, "abc", 3, 1), out);
  EXPECT_STREQ(out, "cba");

  struct {
    double value;
    int from, to;
    float want;
  } units[] = {{1, 0, 2, 72.0f},  {72, 2, 1, 2.54f},   {2.54, 1, 0, 1.0f}, {144, 2, 0, 2.0f},
               {1, 0, 1, 2.54f},  {2.54, 1, 2, 72.0f}, {3.5, 0, 0, 3.5f},  {3.5, 1, 1, 3.5f},
               {3.5, 2, 2, 3.5f}, {3.5, 3, 0, 3.5f},   {3.5, -1, 2, 3.5f}};
  for (const auto &u : units) {
    EXPECT_EQ(CvtFloatFormat(u.value, u.from, u.to), u.want) << u.from << "->" << u.to;
  }
}

}  // namespace
