/* Tests of the catalogue: alias files and language resolution, the checksum text, format
 * signatures, and the calls that read catalogues (opening by language, the fetch modes,
 * formats, converters, templates, redirects, the fallback alias table). */
#include "NlsUtils.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Dbm.h"
#include "MemMgr.h"
#include "NlsUtils_internal.h"
#include "TextMenu.h"
#include "utils.h"

namespace {

const char kExample[] =
    "# languages\nDefault fr_FR\nen_US = en_US en en_GB\nen_AU en_NZ\n"
    "fr_FR = fr_FR fr fr_CA fr_BE\nge_GE = ge_GE de de_DE de_AT german\n";

std::string Take(char *p) {
  std::string s = p ? p : "(null)";
  PutMem(p);
  return s;
}

std::string Normalise(const std::string &text) {
  return Take(NlsNormaliseAliases(text.data(), text.size()));
}

std::string Resolve(const std::string &file, const char *lang) {
  char *table = NlsNormaliseAliases(file.data(), file.size());
  std::string s = Take(NlsResolveLanguage(table, lang));
  PutMem(table);
  return s;
}

TEST(NlsAliases, NormalisedText) {
  const std::string lf = "en_US = en_US en \nfr_FR = fr_FR fr \n";
  std::pair<std::string, std::string> cases[] = {
      {kExample,
       "Default fr_FR \nen_US = en_US en en_GB \nen_AU en_NZ \nfr_FR = fr_FR fr fr_CA fr_BE \n"
       "ge_GE = ge_GE de de_DE de_AT german \n"},
      {"Default fr_FR", "Default fr_FR \n"},
      {"Default\tfr_FR en_US = en_US", "Default fr_FR \nen_US = en_US "},
      /* A comment, CRLF or blanks after a line's last word still end the line. */
      {"en_US = en_US en # English\nfr_FR = fr_FR fr\n", lf},
      {"en_US = en_US en\r\nfr_FR = fr_FR fr\r\n", lf},
      {"en_US = en_US en  \t\nfr_FR =\vfr_FR\ffr\n", lf},
      /* "=" and "#" inside a word belong to it; "=" before a word separates. */
      {"x= =y a#b #c\n", "x= = y a#b \n"},
      {"# only a comment", ""},
      {std::string("a = b\0c = d\n", 12), "a = b "}};
  for (const auto &c : cases) EXPECT_EQ(Normalise(c.first), c.second) << c.first;
}

TEST(NlsAliases, LanguageOfLang) {
  const std::string ex = kExample, pt = "pt_BR = pt_BR br\npt_PT = pt_PT pt\n";
  const std::string noDefault = "en_US = en_US en\r\nfr_FR = fr_FR fr\r\n";
  /* en_AU starts a continuation line; fr_FR matches in its list, not on the Default line;
   * a value cut at "." is still matched whole (pt). */
  struct Case {
    const std::string &file;
    const char *lang, *want;
  } cases[] = {
      // clang-format off
      {ex, nullptr, "fr_FR"},      {ex, "fr_CA.UTF-8", "fr_FR"}, {ex, "de", "ge_GE"},
      {ex, "en_NZ", "en_US"},      {ex, "xx_XX", "fr_FR"},       {ex, "en_AU", "en_US"},
      {ex, "fr_FR", "fr_FR"},      {ex, "Default", "fr_FR"},     {ex, "C", "fr_FR"},
      {ex, "C.UTF-8", "fr_FR"},    {ex, "", "fr_FR"},            {ex, ".UTF-8", "fr_FR"},
      {ex, "de_DE@euro", "fr_FR"}, {ex, "en en", "fr_FR"},       {ex, "=", "fr_FR"},
      {pt, "pt.UTF-8", "pt_PT"},   {noDefault, "fr", "fr_FR"},   {noDefault, "xx", "en_US"},
      {noDefault, nullptr, "en_US"},
      // clang-format on
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Resolve(c.file, c.lang), c.want) << (c.lang ? c.lang : "(unset)") << " in " << c.file;
  }
  /* Comments are not searched; a match with no "=" before it, or in a list without a name,
   * gives en_US; a canonical name never matches. */
  std::pair<std::string, std::string> odd[] = {
      {"en_US = en # en_GB\nfr_FR = fr_FR en_GB\n", "fr_FR"},
      {"Default fr_FR\nen_GB\nen_US = en_US\n", "en_US"},
      {"it_IT fr_FR en_GB\n", "en_US"},
      {"Default fr_FR\n= en_GB\n", "en_US"},
      {"en_GB = en_US\nit_IT = en_GB\n", "it_IT"},
  };
  for (const auto &c : odd) EXPECT_EQ(Resolve(c.first, "en_GB"), c.second) << c.first;
  /* A LANG of 10 KB; 10,000 CRLF lines and a line of 100 KB whose last word continues the
   * last list. */
  EXPECT_EQ(Resolve(kExample, std::string(10000, 'x').c_str()), "fr_FR");
  std::string big;
  for (int i = 0; i < 10000; ++i)
    big += "l" + std::to_string(i) + " = a" + std::to_string(i) + "\r\n";
  big += std::string(100000, 'w') + " x";
  EXPECT_EQ(Resolve(big, "a9999"), "l9999");
  EXPECT_EQ(Resolve(big, "x"), "l9999");
}

TEST(NlsText, CheckSum) {
  /* Bytes above 127 count as negative; 70,000 characters wrap the weighted sum. */
  std::pair<std::string, const char *> cases[] = {
      // clang-format off
      {"abc", "0000056400000126"},    {"", "0000000000000000"},
      {"a\xE9", "000000050000004A"}, {"\xE9", "FFFFFFE9FFFFFFE9"},
      {std::string(70000, 'a'), "C7E2A26800679B70"},
      // clang-format on
  };
  for (const auto &c : cases) EXPECT_STREQ(NlsCalcStrVal(c.first.c_str()), c.second);
  EXPECT_STREQ(NlsCalcStrVal(nullptr), "0000000000000000");
}

TEST(NlsText, FormatSignature) {
  struct Case {
    const char *format;
    int count;
    const char *letters;
  } cases[] = {
      // clang-format off
      {"plain 100%% text", 0, ""}, {"between %i to %i.", 2, "ii"}, {"%Lg to %Lg", 2, "FF"},
      {"'%c' \"%s\" %x %5.2f %-8s", 5, "isifs"}, {"%ld %lld %hhd %p %*.*s", 7, "lqipiis"},
      {"%n", -1, ""}, {"%s%hn", -1, "s"}, {"%1$s", -1, "s"}, {"%ls", -1, ""}, {"%zu", -1, ""},
      {"ends in %", -1, ""}, {"%y", -1, ""},
      // clang-format on
  };
  for (const Case &c : cases) {
    char out[8];
    EXPECT_EQ(NlsFormatSignature(c.format, out, sizeof out), c.count) << c.format;
    EXPECT_STREQ(out, c.letters) << c.format;
  }
  EXPECT_TRUE(NlsFormatHoldsN("%y then %5$zn") && !NlsFormatHoldsN("%%n and %s"));
}

/* Each test has a tool directory of its own, resolves the language afresh and closes the
 * handles it leaves in the globals. */
class NlsFetch : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/nls_fetch.XXXXXX";
    dir_ = mkdtemp(tmpl);
    pToolPath = const_cast<char *>(dir_.c_str());
    my_name = const_cast<char *>("ut_nls_fetch");
    unsetenv("LANG");
    NlsResetForTests();
  }
  void TearDown() override {
    DbTClose(pDrvCoreDB);
    DbTClose(pPrtHelpDB);
    pDrvCoreDB = pPrtHelpDB = nullptr;
    NlsResetForTests();
    std::filesystem::remove_all(dir_);
  }
  /* Writes db/<lang>/<name>.vdb anew, values with their NUL; returns its path. */
  std::string Catalogue(const std::string &lang, const std::string &name,
                        const std::vector<std::pair<std::string, std::string>> &records) {
    std::string path = dir_ + "/db/" + lang + "/" + name + ".vdb";
    unlink(path.c_str());
    DbT *db = DbTOpenFile(path.c_str(), DBT_DEFER);
    for (const auto &r : records)
      DbmTPutRecord(db, r.first.c_str(), r.second.data(), r.second.size() + 1);
    EXPECT_EQ(DbmTArchiveDb(db), 1);
    DbTClose(db);
    return path;
  }
  std::string dir_;
};

TEST_F(NlsFetch, FetchModes) {
  const std::string v3000(3000, 'v'), v2047(2047, 'v');
  Catalogue("en_US", "CoreString",
            {{"25_3", "Three"}, {"7_1", v3000}, {"k", "by key"}, {"8_1", std::string("a\0b", 3)}});
  DbT *db = NlsOpenDB("CoreString", 0);
  char buf[NLS_VALUE_SIZE], small[4];
  /* With a buffer: the buffer, holding the value or the key, cut to fit. */
  EXPECT_EQ(NlsFetchString(db, buf, NLS_FETCH_SET, 25, 3), buf);
  EXPECT_STREQ(buf, "Three");
  EXPECT_STREQ(NlsFetchString(db, buf, NLS_FETCH_SET, 25, 4), "25_4");
  EXPECT_STREQ(NlsFetchString(db, buf, NLS_FETCH_SET, 7, 1), v2047.c_str());
  EXPECT_STREQ(NlsFetchStringN(db, small, sizeof small, NLS_FETCH_SET, 25, 3), "Thr");
  /* Without a buffer, or in mode 3, a fresh string the caller releases (a stored NUL ends a
   * value; nothing to look up gives "Error", here released twice). */
  std::pair<char *, std::string> fresh[] = {
      {NlsFetchString(db, nullptr, NLS_FETCH_SET, 25, 3), "Three"},
      {NlsFetchString(db, nullptr, NLS_FETCH_KEY, "k"), "by key"},
      {NlsFetchString(db, nullptr, NLS_FETCH_KEY_2, "nokey"), "nokey"},
      {NlsFetchString(db, nullptr, NLS_FETCH_SET, 8, 1), "a"},
      {NlsFetchString(db, buf, NLS_FETCH_LONG, 9, 9), "9_9"},
      {NlsFetchString(db, nullptr, NLS_FETCH_LONG, 7, 1), v3000},
      {NlsFetchString(db, nullptr, NLS_FETCH_SET, 7, 1), v2047},
      {NlsFetchString(nullptr, nullptr, NLS_FETCH_SET, 25, 3), "25_3"},
      {NlsFetchString(nullptr, nullptr, NLS_FETCH_KEY, "k"), "Error"},
      {NlsFetchString(nullptr, nullptr, NLS_FETCH_KEY, "k"), "Error"},
      {NlsFetchString(nullptr, buf, NLS_FETCH_LONG, 25, 0), "Error"},
      {NlsFetchString(db, nullptr, 7), "Error"},
  };
  for (auto &f : fresh) EXPECT_EQ(Take(f.first), f.second);
  /* With a buffer and nothing to look up: the module's "Error", the buffer left alone. */
  strcpy(buf, "untouched");
  EXPECT_STREQ(NlsFetchString(nullptr, buf, NLS_FETCH_SET, 0, 1), "Error");
  EXPECT_STREQ(buf, "untouched");
  DbTClose(db);
}

TEST_F(NlsFetch, Formats) {
  Catalogue("en_US", "CoreString", {{"30_42", "from %i to %i."}, {"30_43", "bad %n"}});
  pDrvCoreDB = NlsOpenDB("CoreString", 0);
  char out[NLSBUF_SIZE], small[6];
  EXPECT_EQ(Nlssprintf(out, pDrvCoreDB, 30, 42, 1, 255), 14);
  EXPECT_STREQ(out, "from 1 to 255.");
  EXPECT_EQ(Nlssnprintf(small, sizeof small, pDrvCoreDB, 30, 42, 1, 2), 5);
  EXPECT_STREQ(small, "from ");
  for (int number : {43, 99, 0}) { /* "%n", missing, no key */
    Nlssprintf(out, number ? pDrvCoreDB : nullptr, 30, number, 1);
    EXPECT_STREQ(out, "Error");
  }
  char *printed = nullptr;
  size_t size = 0;
  FILE *f = open_memstream(&printed, &size);
  Nlsfprintf(f, pDrvCoreDB, 30, 42, 4, 4);
  Nlsfprintf(f, pDrvCoreDB, 30, 43, 4);
  Nlsfprintf(f, nullptr, 30, 0);
  fclose(f);
  EXPECT_STREQ(printed, "from 4 to 4.ErrorError");
  free(printed);
  /* For the caller's own printf: a refused text comes back as its key. */
  std::pair<char *, const char *> formats[] = {
      {NlsFetchFormat(pDrvCoreDB, 30, 42, "iis"), "from %i to %i."},
      {NlsFetchFormat(pDrvCoreDB, 30, 42, "si"), "30_42"},
      {NlsFetchFormat(pDrvCoreDB, 30, 42, nullptr), "from %i to %i."},
      {NlsFetchFormat(pDrvCoreDB, 30, 43, nullptr), "30_43"},
      {NlsFetchFormat(nullptr, 0, 45, nullptr), "Error"},
  };
  for (auto &c : formats) EXPECT_EQ(Take(c.first), c.second);
}

TEST_F(NlsFetch, MenuConverters) {
  Catalogue(
      "en_US", "CoreString",
      {{"25_10", "~x Quit"}, {"25_11", std::string(200, 'L')}, {"7_1", "alpha"}, {"7_2", "beta"}});
  pDrvCoreDB = NlsOpenDB("CoreString", 0);
  char *slot = nullptr;
  EXPECT_EQ(Take(NlsTtyMenuCvt(&slot, 10)), "~x Quit");
  TextMenuItem items[4] = {};
  EXPECT_EQ(NlsTtyMenuItemCvt(items, 10, 3), items);
  NlsTtyMenuItemStateCvt(items + 1, 10, 1);
  NlsTtyMenuItemPromptCvt(items + 2, 10, 1);
  NlsTtyMenuItemCvt(items + 3, 10, 0);
  EXPECT_EQ(Take(const_cast<char *>(items[0].pLabel)), "~x Quit");
  EXPECT_EQ(Take(const_cast<char *>(items[1].pLabel)), std::string(127, 'L')); /* 128 bytes */
  EXPECT_EQ(Take(const_cast<char *>(items[2].pLabel)), "25_12");
  EXPECT_EQ(Take(items[1].pChoices), "~x Quit");
  EXPECT_EQ(Take(const_cast<char *>(items[2].pPrompt)), "~x Quit");
  EXPECT_TRUE(!items[3].pLabel && !items[0].pPrompt && !items[0].pChoices);
  struct Case {
    const char *tmpl;
    int outlen;
    const char *want;
  } cases[] = {
      // clang-format off
      {"Copy %s to %s", 64, "Copy alpha to beta"},  {"Copy %s to %s", 11, "Copy alpha"},
      {"%s, %s and %s", 64, "alpha, beta and 7_3"}, {"100%%s %d %s", 64, "100%%s %d alpha"},
      // clang-format on
  };
  for (const Case &c : cases) {
    char out[64];
    memset(out, 'z', sizeof out);
    EXPECT_EQ(NlsGuiStrCvt(c.tmpl, 7, out, c.outlen), out);
    EXPECT_STREQ(out, c.want) << c.tmpl;
  }
}

TEST_F(NlsFetch, OpeningByLanguage) {
  std::ofstream(dir_ + "/trans.conf") << "Default en_US\nfr_FR = fr_FR fr\nge_GE = ge_GE de\n";
  Catalogue("en_US", "CoreString", {{"1_1", "English"}, {"1_2", "Only in English"}});
  Catalogue("fr_FR", "CoreString", {{"1_1", "Francais"}});
  /* No German catalogue; untranslated messages come in English, missing ones as keys. */
  for (auto c : {std::make_pair("fr_FR.UTF-8", "Francais"), {"de", "English"}, {"C", "English"}}) {
    NlsResetForTests();
    setenv("LANG", c.first, 1);
    DbT *db = NlsOpenDB("CoreString", DBT_NO_RECHECK);
    EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 1, 1)), c.second) << c.first;
    EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 1, 2)), "Only in English");
    EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 1, 3)), "1_3");
    DbTClose(db);
  }
  /* Resolved once: neither LANG nor the file is read again. */
  char *lang = GetDesiredNLSLang();
  setenv("LANG", "fr", 1);
  std::ofstream(dir_ + "/trans.conf") << "Default fr_FR\n";
  EXPECT_EQ(GetDesiredNLSLang(), lang);
  EXPECT_STREQ(lang, "en_US");
  EXPECT_EQ(Take(ParseTransFile("trans.conf")), "Default fr_FR \n");
  EXPECT_EQ(ParseTransFile("missing.conf"), nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(NlsOpenDB("Help", 0), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR:  Could not open English database:  " + dir_ + "/db/en_US/Help.vdb\n");
}

TEST_F(NlsFetch, FallbackAliasTable) {
  /* Without trans.conf: 999_1 of pDrvCoreDB when it is open, else of the English core
   * catalogue through a handle closed again; without both, "en_US". */
  Catalogue("en_US", "CoreString", {{"999_1", "Default en_US \nge_GE = ge_GE de \n"}});
  setenv("LANG", "de", 1);
  EXPECT_STREQ(GetDesiredNLSLang(), "ge_GE");
  EXPECT_EQ(pDrvCoreDB, nullptr);
  pDrvCoreDB = DbTOpenFile(Catalogue("en_US", "Other", {{"999_1", "Default fr_FR \n"}}).c_str(), 0);
  NlsResetForTests();
  EXPECT_STREQ(GetDesiredNLSLang(), "fr_FR");
  DbTClose(pDrvCoreDB);
  pDrvCoreDB = nullptr;
  Catalogue("en_US", "CoreString", {{"1_1", "x"}});
  NlsResetForTests();
  EXPECT_STREQ(GetDesiredNLSLang(), "en_US");
}

TEST_F(NlsFetch, Redirects) {
  const std::string q3000(3000, 'q'), n63(63, 'n');
  pPrtHelpDB = DbTOpenFile(
      Catalogue("en_US", "Help", {{"Queues", "All about queues"}, {"Long", q3000}}).c_str(), 0);
  /* The name must fit whole (63 characters) and end in ".redirect" in any case. */
  std::pair<std::string, std::string> cases[] = {
      {"intro $$Queues.REDIRECT", "All about queues"},
      {"$$Missing.redirect", "Missing"},
      {"$$Long.redirect", std::string(2047, 'q')},
      {"$$" + n63 + ".Redirect", n63},
      {"$$" + n63 + "n.redirect", ""},
      {"$$Queues.html", ""},
      {"$$.redirect", ""},
      {"Queues.redirect", ""},
      {"$$Queues", ""},
  };
  for (const auto &c : cases) {
    char text[NLS_VALUE_SIZE];
    strcpy(text, c.first.c_str());
    EXPECT_EQ(CheckForRedirect(text) != nullptr, !c.second.empty()) << c.first;
    EXPECT_EQ(text, c.second.empty() ? c.first : c.second);
  }
  char room[24] = "$$Long.redirect";
  EXPECT_STREQ(CheckForRedirectN(room, 5), "Long");
  EXPECT_STREQ(room, "qqqq");
  DbTClose(pPrtHelpDB);
  pPrtHelpDB = nullptr;
  strcpy(room, "$$Queues.redirect"); /* no help catalogue: the text is only cut */
  EXPECT_STREQ(CheckForRedirect(room), "Queues");
  EXPECT_STREQ(room, "$$Queues");
}

}  // namespace
