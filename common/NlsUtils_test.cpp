/* Tests of the catalogue's language resolution, alias-file normalisation, checksum text,
 * redirect markers and format signatures. */
#include "NlsUtils.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "MemMgr.h"
#include "NlsUtils_internal.h"
#include "utils.h"

namespace {

/* The example alias file of the catalogue's documentation. */
const char kExample[] =
    "# languages\n"
    "Default fr_FR\n"
    "en_US = en_US en en_GB\n"
    "en_AU en_NZ\n"
    "fr_FR = fr_FR fr fr_CA fr_BE\n"
    "ge_GE = ge_GE de de_DE de_AT german\n";

std::string Normalise(const std::string &text) {
  char *p = NlsNormaliseAliases(text.data(), text.size());
  std::string s = p ? p : "(null)";
  PutMem(p);
  return s;
}

std::string Resolve(const std::string &file, const char *lang) {
  char *table = NlsNormaliseAliases(file.data(), file.size());
  char *p = NlsResolveLanguage(table, lang);
  std::string s = p;
  PutMem(p);
  PutMem(table);
  return s;
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/nls_test.XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::string &path() const { return path_; }
  void Write(const std::string &name, const std::string &text) const {
    std::ofstream(path_ + "/" + name, std::ios::binary) << text;
  }

 private:
  std::string path_;
};

TEST(NlsAliases, NormalisedText) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {kExample,
       "Default fr_FR \nen_US = en_US en en_GB \nen_AU en_NZ \nfr_FR = fr_FR fr fr_CA fr_BE \n"
       "ge_GE = ge_GE de de_DE de_AT german \n"},
      {"Default fr_FR", "Default fr_FR \n"},
      {"Default\tfr_FR en_US = en_US", "Default fr_FR \nen_US = en_US "},
      /* A comment after the last word still ends the line. */
      {"en_US = en_US en # English\nfr_FR = fr_FR fr\n", "en_US = en_US en \nfr_FR = fr_FR fr \n"},
      /* CRLF, trailing blanks, VT and FF normalise like plain LF and blanks. */
      {"en_US = en_US en\r\nfr_FR = fr_FR fr\r\n", "en_US = en_US en \nfr_FR = fr_FR fr \n"},
      {"en_US = en_US en  \t\nfr_FR =\vfr_FR\ffr\n", "en_US = en_US en \nfr_FR = fr_FR fr \n"},
      /* "=" and "#" inside a word belong to it; "=" glued before a word separates. */
      {"x= =y a#b #c\n", "x= = y a#b \n"},
      {"# only a comment", ""},
      {"  \n\n", ""},
      {std::string("a = b\0c = d\n", 12), "a = b "},
  };
  for (const Case &c : cases) EXPECT_EQ(Normalise(c.in), c.out) << c.in;
}

TEST(NlsAliases, LanguageOfLang) {
  const std::string pt = "pt_BR = pt_BR br\npt_PT = pt_PT pt\n";
  const std::string noDefault = "en_US = en_US en\nfr_FR = fr_FR fr\n";
  struct Case {
    const std::string &file;
    const char *lang;
    const char *want;
  } cases[] = {
      {kExample, nullptr, "fr_FR"},
      {kExample, "fr_CA.UTF-8", "fr_FR"},
      {kExample, "de", "ge_GE"},
      {kExample, "en_NZ", "en_US"},
      {kExample, "en_AU", "en_US"}, /* first word of a continuation line */
      {kExample, "xx_XX", "fr_FR"},
      {kExample, "fr_FR", "fr_FR"}, /* not matched on the Default line */
      {kExample, "ge_GE.ISO8859-1", "ge_GE"},
      {kExample, "german", "ge_GE"},
      {kExample, "en_GB", "en_US"},
      {kExample, "Default", "fr_FR"},
      {kExample, "C", "fr_FR"},
      {kExample, "POSIX", "fr_FR"},
      {kExample, "C.UTF-8", "fr_FR"},
      {kExample, "", "fr_FR"},
      {kExample, ".UTF-8", "fr_FR"},
      {kExample, "de_DE@euro", "fr_FR"},
      {kExample, "en en", "fr_FR"},
      {kExample, "=", "fr_FR"},
      {pt, "pt.UTF-8", "pt_PT"}, /* a cut value is still matched whole */
      {pt, "br", "pt_BR"},
      {noDefault, "xx", "en_US"},
      {noDefault, nullptr, "en_US"},
      {"en_US = en_US en\r\nfr_FR = fr_FR fr\r\n", "fr", "fr_FR"},
      {"en_US = en # en_GB fr\nfr_FR = fr_FR\n", "en_GB", "en_US"}, /* comments are not searched */
      {"Default fr_FR\nen_GB\nen_US = en_US\n", "en_GB", "en_US"},  /* no "=" before the match */
      {"Default fr_FR\n= de\n", "de", "en_US"},
      {"fr_FR = fr\nen_US = en_US fr_FR\n", "fr_FR", "en_US"}, /* a canonical name never matches */
      {"", "en", "en_US"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Resolve(c.file, c.lang), c.want) << (c.lang ? c.lang : "(unset)") << " in " << c.file;
  }
  const std::string longLang(10000, 'x');
  EXPECT_EQ(Resolve(kExample, longLang.c_str()), "fr_FR");
}

TEST(NlsAliases, ResolvedOnceFromTheToolDirectory) {
  my_name = const_cast<char *>("ut_nls_lang");
  TempDir dir;
  pToolPath = const_cast<char *>(dir.path().c_str());
  dir.Write("trans.conf", kExample);
  setenv("LANG", "de_AT.UTF-8", 1);
  NlsResetForTests();
  char *first = GetDesiredNLSLang();
  EXPECT_STREQ(first, "ge_GE");
  EXPECT_EQ(pNLSLang, first);
  setenv("LANG", "fr", 1);
  dir.Write("trans.conf", "Default en_US\n");
  EXPECT_EQ(GetDesiredNLSLang(), first); /* neither LANG nor the file is read again */
  EXPECT_STREQ(first, "ge_GE");

  char *table = ParseTransFile("trans.conf");
  EXPECT_STREQ(table, "Default en_US \n");
  PutMem(table);
  EXPECT_EQ(ParseTransFile("missing.conf"), nullptr);
  dir.Write("empty.conf", "");
  EXPECT_EQ(ParseTransFile("empty.conf"), nullptr);
  NlsResetForTests();
  pToolPath = nullptr;
  unsetenv("LANG");
}

TEST(NlsText, CheckSum) {
  struct Case {
    std::string text;
    const char *want;
  } cases[] = {
      {"abc", "0000056400000126"},
      {"", "0000000000000000"},
      {"a\xE9", "000000050000004A"}, /* bytes above 127 count as negative */
      {"\xE9", "FFFFFFE9FFFFFFE9"},
      {std::string(70000, 'a'), "C7E2A26800679B70"}, /* the weighted sum wraps */
  };
  for (const Case &c : cases) EXPECT_STREQ(NlsCalcStrVal(c.text.c_str()), c.want);
  EXPECT_STREQ(NlsCalcStrVal(nullptr), "0000000000000000");
}

TEST(NlsText, RedirectMarker) {
  struct Case {
    std::string text;
    const char *name; /* null: no redirect, text unchanged */
    const char *cut;
  } cases[] = {
      {"See $$Queues.REDIRECT", "Queues", "See $$Queues"},
      {"$$a.redirect and more", "a", "$$a"},
      {"$$Queues.html", nullptr, nullptr},
      {"$$.redirect", nullptr, nullptr},
      {"Queues.redirect", nullptr, nullptr},
      {"$$Queues", nullptr, nullptr},
      {"$$Queues.redir", nullptr, nullptr},
      {"$$" + std::string(63, 'n') + ".redirect", nullptr, nullptr},
      {"$$" + std::string(64, 'n') + ".redirect", nullptr, nullptr},
  };
  cases[7].name = cases[7].text.c_str() + 2; /* 63 characters still fit */
  for (Case &c : cases) {
    std::string buf = c.text;
    char *name = FindRedirect(buf.data());
    if (c.name == nullptr) {
      EXPECT_EQ(name, nullptr) << c.text;
      EXPECT_EQ(buf.c_str(), c.text) << c.text;
    } else if (c.cut) {
      ASSERT_NE(name, nullptr) << c.text;
      EXPECT_STREQ(name, c.name);
      EXPECT_STREQ(buf.c_str(), c.cut);
    } else {
      ASSERT_NE(name, nullptr) << c.text;
      EXPECT_EQ(strlen(name), 63u);
    }
  }
  EXPECT_EQ(FindRedirect(nullptr), nullptr);
}

TEST(NlsText, FormatSignature) {
  struct Case {
    const char *format;
    int count;
    const char *letters;
  } cases[] = {
      {"plain 100%% text", 0, ""},
      {"between %i to %i.", 2, "ii"},
      {"'%c' then \"%s\" %x %5.2f %-8s", 5, "isifs"},
      {"%Lg to %Lg", 2, "FF"},
      {"%ld %lld %hhd %p %*.*s", 7, "lqipiis"},
      {"%n", -1, ""},
      {"%s%hn", -1, "s"},
      {"%1$s", -1, "s"},
      {"%ls", -1, ""},
      {"%zu", -1, ""},
      {"ends in %", -1, ""},
      {"%y", -1, ""},
  };
  for (const Case &c : cases) {
    char out[8];
    EXPECT_EQ(NlsFormatSignature(c.format, out, sizeof out), c.count) << c.format;
    EXPECT_STREQ(out, c.letters) << c.format;
  }
  EXPECT_TRUE(NlsFormatHoldsN("%s %5$n"));
  EXPECT_TRUE(NlsFormatHoldsN("%y then %zn"));
  EXPECT_FALSE(NlsFormatHoldsN("%%n and %s"));
  char small[3];
  EXPECT_EQ(NlsFormatSignature("%i%i%i%i", small, sizeof small), 4);
  EXPECT_STREQ(small, "ii");
}

}  // namespace
