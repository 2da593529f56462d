/* Tests of the shipped catalogue and of mkcatalog: every shipped message has the wording
 * and the conversions its callers rely on, the shipped alias file resolves the suite's
 * languages, and mkcatalog round-trips, reproduces and refuses bad sources. */
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "Dbm.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "NlsUtils_internal.h"
#include "utils.h"

namespace {

/* Every message the library fetches from the core catalogue: the argument signature its
 * callers pass (NlsFormatSignature letters) and, where the wording is fixed, the text. */
struct Shipped {
  const char *key, *signature, *text;
} const kShipped[] = {
    {"20_150", "", "~e Exit Help"},
    {"20_151", "", "~c Contents"},
    {"20_152", "", "~b Back"},
    {"30_22", "s", nullptr},
    {"30_42", "ii", "This text length must be from %i to %i characters long."},
    {"30_44", "i", nullptr},
    {"25_201", "", nullptr},
    {"25_202", "", nullptr},
    {"25_203", "s", nullptr},
    {"25_204", "s", nullptr},
    {"25_205", "", nullptr},
    {"25_206", "", nullptr},
    {"25_207", "ii", nullptr},
    {"25_208", "ii", nullptr},
    {"25_230", "", " or s for store settings in a file"},
    {"25_231", "", " or h for help"},
    {"25_232", "", " or <Return> to exit"},
    {"25_270", "", nullptr},
    {"25_271", "", nullptr},
    {"25_510", "sss", nullptr},
    {"25_1000", "", nullptr},
    {"25_1001", "", "\nPress <Return> to continue "},
    {"25_1002", "i",
     "\n'%c' is not a valid name character. \nOnly alphanumeric character, '-', and '_' are "
     "valid: \n"},
    {"25_1003", "ii", "This number must be between %i to %i."},
    {"25_1004", "ii", "This number must be between %x to %x."},
    {"25_1005", "iis", "Invalid character %c\n%c was expected after \"%s\""},
    {"25_1006", "i", "Invalid character '%c'\nThis text may contain \"0123456789.\""},
    {"25_1007", "is", "Invalid character '%c'\nThis text may contain \"abc..zABC..Z012..9%s\""},
    {"25_1008", "is", "Invalid character '%c'\nThis text may contain \"abc..zABC..Z%s\""},
    {"25_1009", "s", "Invalid entry \"%s\""},
    {"25_1011", "", "\nAll names must be set before applying setup.\nPress <Return> to continue"},
    {"25_1016", "", "reading from standard input"},
    {"25_1017", "s", "\nDo you want to return to %s menu"},
    {"25_1018", "s", "\nDo you want to exit %s"},
    {"25_1020", "", "Only one '.' may be entered."},
    {"25_1024", "FF", nullptr},
    {"999_1", "", nullptr},
};

std::string Take(char *p) {
  std::string s = p ? p : "(null)";
  PutMem(p);
  return s;
}

std::string ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(NlsCatalog, ShippedMessages) {
  my_name = const_cast<char *>("ut_nls_catalog");
  pToolPath = const_cast<char *>(BUILD_DIR);
  unsetenv("LANG");
  NlsResetForTests();
  DbT *db = NlsOpenDB("CoreString", 0);
  ASSERT_NE(db, nullptr);
  EXPECT_STREQ(pNLSLang, "en_US");
  std::set<std::string> keys;
  for (const Shipped &m : kShipped) {
    keys.insert(m.key);
    int set = atoi(m.key), number = atoi(strchr(m.key, '_') + 1);
    std::string text = Take(NlsFetchString(db, nullptr, NLS_FETCH_LONG, set, number));
    ASSERT_NE(text, m.key) << "missing";
    char letters[16];
    EXPECT_EQ(NlsFormatSignature(text.c_str(), letters, sizeof letters),
              static_cast<int>(strlen(m.signature)))
        << m.key << ": " << text;
    EXPECT_STREQ(letters, m.signature) << m.key << ": " << text;
    if (m.text) {
      EXPECT_EQ(text, m.text) << m.key;
    }
    for (unsigned char c : text) EXPECT_TRUE(c >= 0x20 ? c < 0x7F : c == '\n') << m.key;
    if (set == 20) { /* hot-key labels "~k Text", k in lower case */
      ASSERT_GE(text.size(), 4u);
      EXPECT_TRUE(text[0] == '~' && text[1] >= 'a' && text[1] <= 'z' && text[2] == ' ') << text;
    }
  }
  /* The picker's save and cancel keys are their labels' first characters. */
  std::string save = Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 25, 201));
  std::string cancel = Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 25, 202));
  EXPECT_NE(save[0], cancel[0]);
  /* Nothing is shipped that no caller fetches. */
  std::string list = Take(DbmTGetRecordList(db, " ", ""));
  std::istringstream words(list);
  std::set<std::string> stored;
  for (std::string w; words >> w;) stored.insert(w);
  EXPECT_EQ(stored, keys);

  /* 999_1 is trans.conf already normalised, and the shipped file resolves the suite's six
   * languages. */
  char *table = ParseTransFile("trans.conf");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_LONG, 999, 1)), table);
  struct {
    const char *lang, *want;
  } langs[] = {{"en_GB.UTF-8", "en_US"}, {"C.UTF-8", "en_US"},   {"es_MX.UTF-8", "es_ES"},
               {"it", "it_IT"},          {"fr_CA", "fr_FR"},     {"de_DE.UTF-8", "ge_GE"},
               {"pt_BR.UTF-8", "pr_BR"}, {"pr_BR", "pr_BR"},     {"POSIX", "en_US"},
               {nullptr, "en_US"},       {"de_DE@euro", "en_US"}};
  for (const auto &c : langs) EXPECT_EQ(Take(NlsResolveLanguage(table, c.lang)), c.want);
  PutMem(table);
  DbTClose(db);
  NlsResetForTests();
  pToolPath = nullptr;
}

class Mkcatalog : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/nls_mkcatalog.XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  /* Runs mkcatalog with args; returns its exit status, with its output in out_ and err_. */
  int Run(const std::string &args) {
    std::string cmd = std::string(MKCATALOG) + " " + args + " >" + dir_ + "/out 2>" + dir_ + "/err";
    int status = system(cmd.c_str());
    out_ = ReadAll(dir_ + "/out");
    err_ = ReadAll(dir_ + "/err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Write(const std::string &name, const std::string &text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
    return dir_ + "/" + name;
  }
  std::string dir_, out_, err_;
};

TEST_F(Mkcatalog, RoundTripAndReproducible) {
  const std::string canonical =
      "25_1\tplain text\n"
      "25_2\tline\\none\\ttab \\\\ back \\x01 \xE9 \\x00 nul\n"
      "7_10\t\n"
      "0_0\t100%% %s\n";
  std::string src = Write("src.txt", "# comment\n\n  \t\n" + canonical);
  ASSERT_EQ(Run(src + " " + dir_ + "/a.vdb"), 0) << err_;
  ASSERT_EQ(Run("-d " + dir_ + "/a.vdb"), 0) << err_;
  EXPECT_EQ(out_, canonical);
  std::string again = Write("again.txt", out_);
  ASSERT_EQ(Run(again + " " + dir_ + "/b.vdb"), 0) << err_;
  EXPECT_EQ(ReadAll(dir_ + "/a.vdb"), ReadAll(dir_ + "/b.vdb"));

  /* The database holds each text with its NUL, readable by the catalogue. */
  DbT *db = DbTOpenFile((dir_ + "/a.vdb").c_str(), 0);
  EXPECT_EQ(DbmTGetRecordSize(db, "25_1"), 11);
  char buf[NLS_VALUE_SIZE];
  EXPECT_STREQ(NlsFetchString(db, buf, NLS_FETCH_SET, 25, 2), "line\none\ttab \\ back \x01 \xE9 ");
  DbTClose(db);

  /* A new build replaces an old database whole. */
  ASSERT_EQ(Run(Write("one.txt", "1_1\tx\n") + " " + dir_ + "/a.vdb"), 0) << err_;
  ASSERT_EQ(Run("-d " + dir_ + "/a.vdb"), 0);
  EXPECT_EQ(out_, "1_1\tx\n");
}

TEST_F(Mkcatalog, RefusesWhatItCannotRead) {
  struct Case {
    std::string source;
    int line;
  } cases[] = {
      {"1_1 no tab\n", 1},
      {"x_1\tkey\n", 1},
      {"01_1\tleading zero\n", 1},
      {"1_\tno number\n", 1},
      {"99999999999_1\tbig\n", 1},
      {"1_1\tbad \\q\n", 1},
      {"1_1\tbad \\x4\n", 1},
      {"1_1\tends \\\n", 1},
      {"1_1\tcrlf\r\n", 1},
      {"1_1\ta\n\n1_1\tb\n", 3},
      {"#\n1_1\tok\n2_2\tbell \a\n", 3},
  };
  std::string out = dir_ + "/out.vdb";
  Write("out.vdb", "old");
  for (const Case &c : cases) {
    std::string src = Write("bad.txt", c.source);
    EXPECT_EQ(Run(src + " " + out), 1) << c.source;
    EXPECT_EQ(err_.rfind(src + ":" + std::to_string(c.line) + ": ", 0), 0u) << err_;
    EXPECT_EQ(ReadAll(out), "old") << c.source;
  }
  EXPECT_EQ(Run(dir_ + "/missing.txt " + out), 1);
  EXPECT_EQ(Run(""), 2);
  EXPECT_NE(err_.find("Usage: mkcatalog"), std::string::npos);
  EXPECT_EQ(Run("-h"), 0);
  EXPECT_NE(out_.find("\\xHH"), std::string::npos);

  /* A damaged database prints what can be read and fails. */
  ASSERT_EQ(Run(Write("ok.txt", "1_1\tfirst\n2_2\tsecond\n") + " " + out), 0);
  std::string bytes = ReadAll(out);
  Write("cut.vdb", bytes.substr(0, bytes.size() - 3));
  EXPECT_EQ(Run("-d " + dir_ + "/cut.vdb"), 1);
  EXPECT_EQ(out_, "1_1\tfirst\n");
  EXPECT_NE(err_.find("damaged"), std::string::npos);
  EXPECT_EQ(Run("-d " + dir_ + "/none.vdb"), 1);
}

}  // namespace
