/* Tests of the catalogue calls that read databases: opening, the fetch modes, formats,
 * converters, templates, redirects and the fallback alias table. */
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
#include "NlsUtils.h"
#include "NlsUtils_internal.h"
#include "TextMenu.h"
#include "utils.h"

namespace {

using Records = std::vector<std::pair<std::string, std::string>>;

/* A tool directory of its own per test: pToolPath points at it, the language is resolved
 * afresh, and every handle is closed at the end. */
class NlsFetch : public testing::Test {
 protected:
  void SetUp() override {
    my_name = const_cast<char *>("ut_nls_fetch");
    char tmpl[] = "/tmp/nls_fetch.XXXXXX";
    dir_ = mkdtemp(tmpl);
    pToolPath = const_cast<char *>(dir_.c_str());
    unsetenv("LANG");
    NlsResetForTests();
  }
  void TearDown() override {
    for (DbT **h : {&pDrvCoreDB, &pPrtHelpDB}) {
      DbTClose(*h);
      *h = nullptr;
    }
    NlsResetForTests();
    pToolPath = nullptr;
    std::filesystem::remove_all(dir_);
  }
  /* Writes db/<lang>/<name>.vdb; values are stored with their NUL unless raw. */
  std::string Catalogue(const std::string &lang, const std::string &name, const Records &records,
                        bool raw = false) {
    std::string path = dir_ + "/db/" + lang + "/" + name + ".vdb";
    unlink(path.c_str());
    DbT *db = DbTOpenFile(path.c_str(), DBT_DEFER);
    for (const auto &r : records) {
      DbmTPutRecord(db, r.first.c_str(), r.second.data(),
                    static_cast<int>(r.second.size()) + (raw ? 0 : 1));
    }
    EXPECT_EQ(DbmTArchiveDb(db), 1);
    DbTClose(db);
    return path;
  }
  /* The managed result as a string, released. */
  static std::string Take(char *p) {
    std::string s = p;
    PutMem(p);
    return s;
  }
  std::string dir_;
};

TEST_F(NlsFetch, FetchModes) {
  const std::string long3000(3000, 'v');
  Catalogue(
      "en_US", "CoreString",
      {{"25_3", "Three"}, {"7_1", long3000}, {"k", "by key"}, {"8_1", std::string("a\0b", 3)}});
  DbT *db = NlsOpenDB("CoreString", 0);
  ASSERT_NE(db, nullptr);
  char buf[NLS_VALUE_SIZE];
  EXPECT_EQ(NlsFetchString(db, buf, NLS_FETCH_SET, 25, 3), buf);
  EXPECT_STREQ(buf, "Three");
  EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 25, 3)), "Three");
  EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_KEY, "k")), "by key");
  EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_KEY_2, "k")), "by key");
  EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 8, 1)), "a"); /* a stored NUL ends it */
  /* Missing: the key, in the buffer or as a fresh copy. */
  EXPECT_EQ(NlsFetchString(db, buf, NLS_FETCH_SET, 25, 4), buf);
  EXPECT_STREQ(buf, "25_4");
  EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_KEY, "nokey")), "nokey");
  EXPECT_EQ(Take(NlsFetchString(db, buf, NLS_FETCH_LONG, 9, 9)), "9_9");
  /* Long values: whole in mode 3, cut to 2047 characters otherwise. */
  EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_LONG, 7, 1)), long3000);
  EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 7, 1)), long3000.substr(0, 2047));
  EXPECT_STREQ(NlsFetchString(db, buf, NLS_FETCH_SET, 7, 1), long3000.substr(0, 2047).c_str());
  char small[4];
  EXPECT_STREQ(NlsFetchStringN(db, small, sizeof small, NLS_FETCH_SET, 25, 3), "Thr");
  EXPECT_STREQ(NlsFetchStringN(db, small, sizeof small, NLS_FETCH_SET, 25, 99), "25_");
  /* Nothing to look up: "Error"; without a buffer always a fresh copy (released twice here). */
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Take(NlsFetchString(nullptr, nullptr, NLS_FETCH_KEY, "k")), "Error");
    EXPECT_EQ(Take(NlsFetchString(nullptr, nullptr, NLS_FETCH_SET, 0, 1)), "Error");
    EXPECT_EQ(Take(NlsFetchString(nullptr, buf, NLS_FETCH_LONG, 25, 0)), "Error");
    EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_KEY, nullptr)), "Error");
    EXPECT_EQ(Take(NlsFetchString(db, nullptr, 7)), "Error");
  }
  strcpy(buf, "untouched");
  char *module = NlsFetchString(nullptr, buf, NLS_FETCH_KEY, "k");
  EXPECT_STREQ(module, "Error");
  EXPECT_STREQ(buf, "untouched");
  EXPECT_EQ(Take(NlsFetchString(nullptr, nullptr, NLS_FETCH_SET, 25, 3)), "25_3");
  DbTClose(db);

  /* A value stored without its NUL comes out terminated. */
  Catalogue("en_US", "Raw", {{"1_1", "abc"}}, true);
  db = NlsOpenDB("Raw", 0);
  memset(buf, 'x', sizeof buf);
  EXPECT_STREQ(NlsFetchString(db, buf, NLS_FETCH_SET, 1, 1), "abc");
  DbTClose(db);
}

TEST_F(NlsFetch, Formats) {
  Catalogue("en_US", "CoreString",
            {{"30_42", "from %i to %i."}, {"30_43", "bad %n"}, {"30_44", "%s then %i"}});
  pDrvCoreDB = NlsOpenDB("CoreString", 0);
  char out[NLSBUF_SIZE];
  EXPECT_EQ(Nlssprintf(out, pDrvCoreDB, 30, 42, 1, 255), 14);
  EXPECT_STREQ(out, "from 1 to 255.");
  EXPECT_EQ(Nlssprintf(out, pDrvCoreDB, 30, 99, 1), 5);
  EXPECT_STREQ(out, "Error");
  Nlssprintf(out, pDrvCoreDB, 30, 43, 1);
  EXPECT_STREQ(out, "Error");
  Nlssprintf(out, nullptr, 0, 1);
  EXPECT_STREQ(out, "Error");
  char small[6];
  EXPECT_EQ(Nlssnprintf(small, sizeof small, pDrvCoreDB, 30, 42, 1, 2), 5);
  EXPECT_STREQ(small, "from ");

  FILE *f = tmpfile();
  Nlsfprintf(f, pDrvCoreDB, 30, 42, 4, 4);
  Nlsfprintf(f, pDrvCoreDB, 30, 43, 4);
  Nlsfprintf(f, nullptr, 30, 0);
  Nlsfprintf(f, nullptr, 30, 0);
  rewind(f);
  char line[64] = "";
  EXPECT_EQ(fread(line, 1, sizeof line - 1, f), 27u);
  fclose(f);
  EXPECT_STREQ(line, "from 4 to 4.ErrorErrorError");

  /* As formats for the caller's own printf: refused texts come back as their key. */
  EXPECT_EQ(Take(NlsFetchFormat(pDrvCoreDB, 30, 42, "ii")), "from %i to %i.");
  EXPECT_EQ(Take(NlsFetchFormat(pDrvCoreDB, 30, 42, "iis")), "from %i to %i.");
  EXPECT_EQ(Take(NlsFetchFormat(pDrvCoreDB, 30, 42, "i")), "30_42");
  EXPECT_EQ(Take(NlsFetchFormat(pDrvCoreDB, 30, 44, "ii")), "30_44");
  EXPECT_EQ(Take(NlsFetchFormat(pDrvCoreDB, 30, 44, nullptr)), "%s then %i");
  EXPECT_EQ(Take(NlsFetchFormat(pDrvCoreDB, 30, 43, nullptr)), "30_43");
  EXPECT_EQ(Take(NlsFetchFormat(pDrvCoreDB, 30, 45, nullptr)), "30_45");
  EXPECT_EQ(Take(NlsFetchFormat(nullptr, 0, 45, nullptr)), "Error");
}

TEST_F(NlsFetch, MenuConverters) {
  const std::string long200(200, 'L');
  Catalogue("en_US", "CoreString",
            {{"25_10", "~x Quit"},
             {"25_11", long200},
             {"7_1", "alpha"},
             {"7_2", "beta"},
             {"25_3", "Title"}});
  pDrvCoreDB = NlsOpenDB("CoreString", 0);
  char *slot = nullptr;
  EXPECT_EQ(NlsTtyMenuCvt(&slot, 3), slot);
  EXPECT_EQ(Take(slot), "Title");
  EXPECT_EQ(Take(NlsTtyMenuCvt(&slot, 4)), "25_4");

  TextMenuItem items[4] = {};
  EXPECT_EQ(NlsTtyMenuItemCvt(items, 10, 3), items);
  EXPECT_STREQ(items[0].pLabel, "~x Quit");
  EXPECT_EQ(items[1].pLabel, long200.substr(0, 127)); /* through a 128-byte buffer */
  EXPECT_STREQ(items[2].pLabel, "25_12");
  EXPECT_EQ(items[3].pLabel, nullptr);
  NlsTtyMenuItemStateCvt(items + 1, 10, 1);
  NlsTtyMenuItemPromptCvt(items + 2, 10, 1);
  EXPECT_STREQ(items[1].pChoices, "~x Quit");
  EXPECT_STREQ(items[2].pPrompt, "~x Quit");
  EXPECT_EQ(items[0].pPrompt, nullptr);
  EXPECT_EQ(NlsTtyMenuItemCvt(items + 3, 10, 0), items + 3);
  EXPECT_EQ(NlsTtyMenuItemCvt(items + 3, 10, -1), items + 3);
  EXPECT_EQ(items[3].pLabel, nullptr);
  for (TextMenuItem &it : items) {
    PutMem(const_cast<char *>(it.pLabel));
    PutMem(it.pChoices);
    PutMem(const_cast<char *>(it.pPrompt));
  }

  struct Case {
    const char *tmpl;
    int set, outlen;
    const char *want;
  } cases[] = {
      {"Copy %s to %s", 7, 64, "Copy alpha to beta"},
      {"Copy %s to %s", 7, 11, "Copy alpha"},
      {"%s, %s and %s", 7, 64, "alpha, beta and 7_3"},
      {"100%%s %d %s", 7, 64, "100%%s %d alpha"},
      {"no marker", 7, 64, "no marker"},
      {"end %", 7, 64, "end %"},
  };
  for (const Case &c : cases) {
    char out[64];
    memset(out, 'z', sizeof out);
    EXPECT_EQ(NlsGuiStrCvt(c.tmpl, c.set, out, c.outlen), out);
    EXPECT_STREQ(out, c.want) << c.tmpl;
    EXPECT_EQ(out[c.outlen - 1], '\0');
  }
}

TEST_F(NlsFetch, OpeningByLanguage) {
  std::ofstream(dir_ + "/trans.conf") << "Default en_US\nfr_FR = fr_FR fr\nge_GE = ge_GE de\n";
  Catalogue("en_US", "CoreString", {{"1_1", "English"}});
  Catalogue("fr_FR", "CoreString", {{"1_1", "Francais"}});
  struct Case {
    const char *lang, *name, *want;
  } cases[] = {
      {"fr_FR.UTF-8", "CoreString", "Francais"},
      {"de", "CoreString", "English"}, /* no German catalogue */
      {"C", "CoreString", "English"},
  };
  for (const Case &c : cases) {
    NlsResetForTests();
    setenv("LANG", c.lang, 1);
    DbT *db = NlsOpenDB(c.name, DBT_NO_RECHECK);
    ASSERT_NE(db, nullptr) << c.lang;
    EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 1, 1)), c.want) << c.lang;
    DbTClose(db);
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(NlsOpenDB("Help", 0), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR:  Could not open English database:  " + dir_ + "/db/en_US/Help.vdb\n");
}

TEST_F(NlsFetch, FallbackAliasTable) {
  /* Without trans.conf the table comes from 999_1 of the English core catalogue. */
  Catalogue("en_US", "CoreString", {{"999_1", "Default en_US \nge_GE = ge_GE de \n"}});
  setenv("LANG", "de", 1);
  EXPECT_STREQ(GetDesiredNLSLang(), "ge_GE");
  EXPECT_EQ(pDrvCoreDB, nullptr); /* read through a handle of its own */
  /* pDrvCoreDB, when the application has opened it, is the one read. */
  pDrvCoreDB = DbTOpenFile(Catalogue("en_US", "Other", {{"999_1", "Default fr_FR \n"}}).c_str(), 0);
  NlsResetForTests();
  EXPECT_STREQ(GetDesiredNLSLang(), "fr_FR");
  DbTClose(pDrvCoreDB);
  pDrvCoreDB = nullptr;

  /* A catalogue without 999_1, and no catalogue at all: "en_US". */
  Catalogue("en_US", "CoreString", {{"1_1", "x"}});
  NlsResetForTests();
  EXPECT_STREQ(GetDesiredNLSLang(), "en_US");
  std::filesystem::remove_all(dir_ + "/db");
  NlsResetForTests();
  EXPECT_STREQ(GetDesiredNLSLang(), "en_US");
  EXPECT_EQ(pDrvCoreDB, nullptr);
}

TEST_F(NlsFetch, Redirects) {
  const std::string long3000(3000, 'q');
  std::string help =
      Catalogue("en_US", "Help", {{"Queues", "All about queues"}, {"Long", long3000}});
  pPrtHelpDB = DbTOpenFile(help.c_str(), 0);
  char text[NLS_VALUE_SIZE] = "intro $$Queues.REDIRECT";
  EXPECT_STREQ(CheckForRedirect(text), "Queues");
  EXPECT_STREQ(text, "All about queues");
  strcpy(text, "$$Missing.redirect");
  EXPECT_STREQ(CheckForRedirect(text), "Missing");
  EXPECT_STREQ(text, "Missing");
  strcpy(text, "$$Long.redirect");
  CheckForRedirect(text);
  EXPECT_EQ(std::string(text), long3000.substr(0, 2047));
  char room[16] = "$$Long.redirect";
  EXPECT_STREQ(CheckForRedirectN(room, 5), "Long");
  EXPECT_STREQ(room, "qqqq");
  strcpy(text, "no marker here");
  EXPECT_EQ(CheckForRedirect(text), nullptr);
  EXPECT_STREQ(text, "no marker here");
  DbTClose(pPrtHelpDB);
  pPrtHelpDB = nullptr;
  strcpy(text, "$$Queues.redirect");
  EXPECT_STREQ(CheckForRedirect(text), "Queues"); /* no help catalogue: the text is only cut */
  EXPECT_STREQ(text, "$$Queues");
}

}  // namespace
