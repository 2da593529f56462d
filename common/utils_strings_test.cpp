/* Tests of managed strings, the shared tokenizer, keyword lists, searching and Gets. */
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cmath>
#include <string>

#include "MemMgr.h"
#include "utils.h"

namespace {

/* Standard input read from a file holding text (the rest of the test reads from it). */
void FeedStdin(const std::string &text) {
  char path[] = "/tmp/ut_strings_stdinXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  ASSERT_NE(freopen(path, "r", stdin), nullptr);
  unlink(path);
}

}  // namespace

TEST(SaveStr, FormatsIntoExactManagedCopies) {
  char *s = SaveStr("%s-%d", "abc", 42);
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s, "abc-42");
  PutMem(s);

  char *e = SaveStr("%s", "");
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e, "");
  PutMem(e);

  const char *src = "verbatim %d \\ text";
  char *c = SaveStr_(src);
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c, src);
  EXPECT_NE(c, src);
  PutMem(c);
  EXPECT_EQ(SaveStr_(nullptr), nullptr);

  char *d = SaveStr__("%c%c%s", 'x', 'y', "z");
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d, "xyz");
  PutMem(d);
  const char *nofmt = nullptr;
  EXPECT_EQ(SaveStr__(nofmt), nullptr);
}

TEST(SaveStr, LongResultsComeOutWhole) {
  /* Short format, result far beyond an 8192-byte scratch block. */
  std::string big(20000, 'q');
  big[19999] = 'E';
  char *s = SaveStr("<%s>", big.c_str());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(strlen(s), 20002u);
  EXPECT_EQ(std::string(s), "<" + big + ">");
  PutMem(s);

  /* Beyond the 65535-byte scratch of SaveStr__. */
  std::string huge(70000, 'h');
  huge.back() = 'Z';
  char *t = SaveStr__("%s!", huge.c_str());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(strlen(t), 70001u);
  EXPECT_EQ(t[69999], 'Z');
  EXPECT_EQ(t[70000], '!');
  PutMem(t);
}

TEST(SysErrorDeath, PrintsNameMessageAndSystemTextThenExits1) {
  my_name = const_cast<char *>("ut_strings_syserror");
  EXPECT_EXIT(
      {
        errno = ENOENT;
        SysError("boom %d", 7);
      },
      testing::ExitedWithCode(1), "\nut_strings_syserror: boom 7 : No such file or directory\n");
}

TEST(GetToken, SplitsOnRunsOfDelimitersAndRecordsTheDelimiter) {
  EXPECT_STREQ(GetToken("  a  b", " "), "a");
  EXPECT_EQ(chTokenDel, ' ');
  EXPECT_STREQ(GetToken(nullptr, " "), "b");
  EXPECT_EQ(chTokenDel, 0);
  EXPECT_EQ(GetToken(nullptr, " "), nullptr);
  EXPECT_EQ(chTokenDel, 0);

  /* Several delimiters; the text is not modified; szTokenIn follows the scan. */
  const char text[] = "k1=v1,k2";
  EXPECT_STREQ(GetToken(text, "=,"), "k1");
  EXPECT_EQ(chTokenDel, '=');
  EXPECT_EQ(szIn, text + 3);
  EXPECT_EQ(szTokenIn, szIn);
  EXPECT_STREQ(GetToken(nullptr, "=,"), "v1");
  EXPECT_EQ(chTokenDel, ',');
  EXPECT_STREQ(GetToken(nullptr, "=,"), "k2");
  EXPECT_STREQ(text, "k1=v1,k2");

  /* Only delimiters, and the empty text. */
  EXPECT_EQ(GetToken(" , ", " ,"), nullptr);
  EXPECT_EQ(chTokenDel, 0);
  EXPECT_EQ(GetToken("", " "), nullptr);
}

TEST(GetToken, BackslashEscapes) {
  EXPECT_STREQ(GetToken("a\\ b c", " "), "a b");
  EXPECT_STREQ(GetToken(nullptr, " "), "c");
  EXPECT_STREQ(GetToken("x\\ty", " "), "x\ty");
  EXPECT_STREQ(GetToken("\\n\\r\\\\\\q", " "), "\n\r\\q");
  /* An escaped delimiter at the start still starts the token. */
  EXPECT_STREQ(GetToken("  \\ x", " "), " x");
  /* A lone backslash at the end stops the scan and is dropped. */
  EXPECT_STREQ(GetToken("ab\\", " "), "ab");
  EXPECT_EQ(*szIn, '\0');
  EXPECT_EQ(GetToken(nullptr, " "), nullptr);
  EXPECT_EQ(GetToken("\\", " "), nullptr);
}

TEST(GetToken, LineModeStopsAtTheEndOfALine) {
  const char text[] = "word\nnext more\n\nlast";
  SetTokenBuf(const_cast<char *>(text));
  EXPECT_EQ(GetToken(TOKEN_LINE_MODE, "\n "), nullptr);
  EXPECT_EQ(chTokenDel, '\n');
  EXPECT_STREQ(GetTokenBuf, "word");
  EXPECT_EQ(GetTokenBufInput(), text + 5);
  EXPECT_STREQ(GetToken(TOKEN_LINE_MODE, "\n "), "next");
  EXPECT_EQ(GetToken(TOKEN_LINE_MODE, "\n "), nullptr);
  /* Empty lines are leading delimiters. */
  EXPECT_STREQ(GetToken(TOKEN_LINE_MODE, "\n "), "last");
  EXPECT_EQ(GetToken(TOKEN_LINE_MODE, "\n "), nullptr);
  EXPECT_EQ(chTokenDel, 0);

  /* Without line mode a newline is an ordinary delimiter. */
  EXPECT_STREQ(GetToken("a\nb", "\n"), "a");
  EXPECT_STREQ(GetToken(nullptr, "\n"), "b");
}

TEST(GetToken, OverlongTokensAreCutButFullyConsumed) {
  std::string longTok(300, 'x');
  longTok[0] = 'A';
  std::string text = longTok + " tail";
  char *t = GetToken(text.c_str(), " ");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(strlen(t), static_cast<size_t>(TOKEN_SIZE - 1));
  EXPECT_EQ(std::string(t), longTok.substr(0, TOKEN_SIZE - 1));
  EXPECT_STREQ(GetToken(nullptr, " "), "tail");

  /* Exactly 127 characters fit whole; escapes count once. */
  std::string fit(127, 'f');
  EXPECT_EQ(std::string(GetToken(fit.c_str(), " ")), fit);
  std::string escaped;
  for (int i = 0; i < 200; ++i) escaped += "\\t";
  escaped += ",z";
  t = GetToken(escaped.c_str(), ",");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(std::string(t), std::string(127, '\t'));
  EXPECT_STREQ(GetToken(nullptr, ","), "z");
}

TEST(GetToken, NullDelimitersAndNoScan) {
  SetTokenBuf(nullptr);
  EXPECT_EQ(GetToken(nullptr, " "), nullptr);
  EXPECT_EQ(GetToken(TOKEN_LINE_MODE, " "), nullptr);
  EXPECT_STREQ(GetToken("a b", nullptr), "a b");
}

TEST(GetTokenN, PicksTheNthToken) {
  EXPECT_STREQ(GetTokenN("a b c", " ", 3), "c");
  EXPECT_EQ(GetTokenN("a b c", " ", 4), nullptr);
  EXPECT_STREQ(GetTokenN("a b c", " ", 0), "a");
  EXPECT_STREQ(GetTokenN("a b c", " ", -5), "a");
  /* The scan is left after the token. */
  EXPECT_STREQ(GetTokenN("a b c", " ", 2), "b");
  EXPECT_STREQ(GetToken(nullptr, " "), "c");
}

TEST(GetTokenParse, SplitsInPlace) {
  char path[] = "/usr/bin:/bin::/sbin";
  char *t = GetTokenParse(path, ":");
  EXPECT_EQ(t, path);
  EXPECT_STREQ(t, "/usr/bin");
  EXPECT_EQ(path[8], '\0');
  EXPECT_EQ(chTokenDel, ':');
  EXPECT_EQ(szTokenIn, path + 9);
  EXPECT_STREQ(GetTokenParse(nullptr, ":"), "/bin");
  EXPECT_STREQ(GetTokenParse(nullptr, ":"), "/sbin");
  EXPECT_EQ(chTokenDel, 0);
  EXPECT_EQ(GetTokenParse(nullptr, ":"), nullptr);
  /* The first token still reads whole: it outlives later calls. */
  EXPECT_STREQ(t, "/usr/bin");

  /* Backslashes stay, escaped delimiters do not split; a lone final backslash stays. */
  char esc[] = "a\\:b:c\\";
  EXPECT_STREQ(GetTokenParse(esc, ":"), "a\\:b");
  EXPECT_STREQ(GetTokenParse(nullptr, ":"), "c\\");
  EXPECT_EQ(GetTokenParse(nullptr, ":"), nullptr);

  /* Line mode. */
  char lines[] = "one\ntwo three\n";
  SetTokenBuf(lines);
  EXPECT_EQ(GetTokenParse(const_cast<char *>(TOKEN_LINE_MODE), "\n "), nullptr);
  EXPECT_STREQ(lines, "one");
  EXPECT_STREQ(GetTokenParse(const_cast<char *>(TOKEN_LINE_MODE), "\n "), "two");
  EXPECT_EQ(chTokenDel, ' ');
  EXPECT_EQ(GetTokenParse(const_cast<char *>(TOKEN_LINE_MODE), "\n "), nullptr);
  EXPECT_EQ(GetTokenParse(const_cast<char *>(TOKEN_LINE_MODE), "\n "), nullptr);
}

TEST(GetTokenCount, CountsWithoutDisturbingAScan) {
  EXPECT_EQ(GetTokenCount("a b  c ", " "), 3);
  EXPECT_EQ(GetTokenCount("", " "), 0);
  EXPECT_EQ(GetTokenCount("a\\ b c", " "), 2);
  EXPECT_EQ(GetTokenCount(nullptr, " "), 0);

  const char text[] = "one,two,three";
  EXPECT_STREQ(GetToken(text, ","), "one");
  char *in = szIn;
  char *tokenIn = szTokenIn;
  EXPECT_EQ(GetTokenCount("x y z w", " "), 4);
  EXPECT_EQ(szIn, in);
  EXPECT_EQ(szTokenIn, tokenIn);
  EXPECT_EQ(chTokenDel, ',');
  EXPECT_STREQ(GetTokenBuf, "one");
  EXPECT_STREQ(GetToken(nullptr, ","), "two");
}

TEST(GetTokenCount, SetTokenBufPositionsTheScan) {
  char text[] = "p q";
  EXPECT_EQ(SetTokenBuf(text + 1), text + 1);
  EXPECT_EQ(szIn, text + 1);
  EXPECT_EQ(szTokenIn, text + 1);
  EXPECT_EQ(GetTokenBufInput(), text + 1);
  EXPECT_STREQ(GetToken(nullptr, " "), "q");
}

TEST(FindToken, PositionInKeywordLists) {
  EXPECT_EQ(FindToken("b", ",a,b,c,"), 2u);
  EXPECT_EQ(FindToken("a", ",a,b,c,"), 1u);
  EXPECT_EQ(FindToken("ab", ",a,b,c,"), 0u);
  EXPECT_EQ(FindToken("c", ",a,b,c"), 3u);
  EXPECT_EQ(FindToken("B", ",a,b,"), 0u);
  EXPECT_EQ(FindToken("setup", " . .. setup "), 3u);
  EXPECT_EQ(FindToken("-v", ",install,-v"), 2u);
  EXPECT_EQ(FindToken("b", ",ab,b,"), 2u);
  EXPECT_EQ(FindToken("b", ",ab,b"), 2u);
  EXPECT_EQ(FindToken("a", ",ab,b"), 0u);
  /* Null and empty arguments. */
  EXPECT_EQ(FindToken(nullptr, ",a,"), 0u);
  EXPECT_EQ(FindToken("a", nullptr), 0u);
  EXPECT_EQ(FindToken("a", ""), 0u);
  EXPECT_EQ(FindToken("", ",a,b,"), 0u);
  EXPECT_EQ(FindToken("", ",a,,b,"), 0u);
}

TEST(FindToken, WordsLongerThanThePatternBuffer) {
  std::string word(600, 'w');
  std::string list = " x " + word + " y ";
  EXPECT_EQ(FindToken(word.c_str(), list.c_str()), 2u);
  EXPECT_EQ(FindToken((word + "w").c_str(), list.c_str()), 0u);
  EXPECT_EQ(FindToken(word.substr(1).c_str(), list.c_str()), 0u);
  std::string tail = " x " + word;
  EXPECT_EQ(FindToken(word.c_str(), tail.c_str()), 2u);
  std::string huge(5000, 'h');
  EXPECT_EQ(FindToken(huge.c_str(), " a b "), 0u);
}

TEST(StrStr, FindsFirstOccurrence) {
  const char text[] = "abcabc";
  EXPECT_EQ(StrStr(text, "ca"), text + 2);
  EXPECT_EQ(StrStr(text, "abc"), text);
  EXPECT_EQ(StrStr(text, "abcabcd"), nullptr);
  EXPECT_EQ(StrStr(text, "x"), nullptr);
  EXPECT_EQ(StrStr("abc", ""), nullptr);
  EXPECT_EQ(StrStr(nullptr, "a"), nullptr);
  EXPECT_EQ(StrStr("a", nullptr), nullptr);
}

TEST(MaxD, LargerOfTwo) {
  EXPECT_EQ(MaxD(1.5, 2.5), 2.5);
  EXPECT_EQ(MaxD(3.0, -1.0), 3.0);
  /* Equal values give b: tell them apart by sign of zero. */
  EXPECT_TRUE(std::signbit(MaxD(0.0, -0.0)));
  EXPECT_FALSE(std::signbit(MaxD(-0.0, 0.0)));
}

TEST(Gets, ReadsOneLineWithinTheBuffer) {
  FeedStdin("abcdefg\n\nxy\xffzz\nlast");
  char buf[16];
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(Gets(buf, 5), buf);
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(buf[5], '#');
  EXPECT_EQ(Gets(buf, sizeof buf), buf); /* the rest of the first line */
  EXPECT_STREQ(buf, "efg");
  EXPECT_EQ(Gets(buf, sizeof buf), buf); /* an empty line */
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(Gets(buf, sizeof buf), buf); /* 0xFF ends the read */
  EXPECT_STREQ(buf, "xy");
  EXPECT_EQ(Gets(buf, sizeof buf), buf);
  EXPECT_STREQ(buf, "zz");
  EXPECT_EQ(Gets(buf, sizeof buf), buf); /* end of input after some text */
  EXPECT_STREQ(buf, "last");
  EXPECT_EQ(Gets(buf, sizeof buf), nullptr); /* nothing left */
  EXPECT_STREQ(buf, "");
}

TEST(Gets, DegenerateBuffers) {
  FeedStdin("abc\n");
  char buf[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(Gets(buf, 0), nullptr);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(Gets(buf, -3), nullptr);
  EXPECT_EQ(Gets(nullptr, 10), nullptr);
  EXPECT_EQ(Gets(buf, 1), buf); /* room for the terminator only: nothing is read */
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(Gets(buf, sizeof buf), buf);
  EXPECT_STREQ(buf, "abc");
}
