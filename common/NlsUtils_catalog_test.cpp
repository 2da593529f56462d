/* Tests of the shipped catalogue and of mkcatalog: every shipped message has the
 * conversions its callers pass, the shipped alias file resolves the suite's
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

/* Every message the library fetches, with the signature its callers pass after the ":". */
const char kShipped[] =
    "20_150: 20_151: 20_152: 30_22:s 30_42:ii 30_44:i 25_201: 25_202: 25_203:s 25_204:s "
    "25_205: 25_206: 25_207:ii 25_208:ii 25_230: 25_231: 25_232: 25_270: 25_271: 25_510:sss "
    "25_1000: 25_1001: 25_1002:i 25_1003:ii 25_1004:ii 25_1005:iis 25_1006:i 25_1007:is "
    "25_1008:is 25_1009:s 25_1011: 25_1016: 25_1017:s 25_1018:s 25_1020: 25_1024:FF 999_1:";

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
  std::set<std::string> keys, stored;
  std::istringstream shipped(kShipped);
  for (std::string entry; shipped >> entry;) {
    std::string key = entry.substr(0, entry.find(':')), signature = entry.substr(key.size() + 1);
    keys.insert(key);
    int set = atoi(key.c_str()), number = atoi(key.c_str() + key.find('_') + 1);
    std::string text = Take(NlsFetchString(db, nullptr, NLS_FETCH_LONG, set, number));
    char letters[16];
    NlsFormatSignature(text.c_str(), letters, sizeof letters);
    EXPECT_EQ(letters, signature) << key << ": " << text;
    for (unsigned char c : text) EXPECT_TRUE(c >= 0x20 ? c < 0x7F : c == '\n') << key;
    /* Hot-key labels "~k Text", k in lower case. */
    EXPECT_TRUE(set != 20 || (text[0] == '~' && text[1] >= 'a' && text[1] <= 'z' && text[2] == ' '))
        << text;
  }
  /* The picker's save and cancel keys are their labels' first characters. */
  EXPECT_NE(Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 25, 201))[0],
            Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 25, 202))[0]);
  /* Nothing is shipped that no caller fetches, and nothing is missing. */
  std::istringstream list(Take(DbmTGetRecordList(db, " ", "")));
  for (std::string w; list >> w;) stored.insert(w);
  EXPECT_EQ(stored, keys);
  /* 999_1 is trans.conf normalised; trans.conf resolves the suite's six languages. */
  char *table = ParseTransFile("trans.conf");
  EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_LONG, 999, 1)), table);
  for (auto c : {std::make_pair("de_DE.UTF-8", "ge_GE"),
                 {"pt_BR", "pr_BR"},
                 {"es_MX", "es_ES"},
                 {"it", "it_IT"},
                 {"fr_CA", "fr_FR"},
                 {"C.UTF-8", "en_US"}}) {
    EXPECT_EQ(Take(NlsResolveLanguage(table, c.first)), c.second);
  }
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
  /* Runs mkcatalog; its exit status, with its output in out_ and err_. */
  int Run(const std::string &args) {
    int status = system((MKCATALOG " " + args + " >" + dir_ + "/out 2>" + dir_ + "/err").c_str());
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
      "25_1\tplain text\n25_2\tline\\none\\ttab \\\\ back \\x01 \xE9 \\x00 nul\n7_10\t\n"
      "0_0\t100%% %s\n";
  std::string a = dir_ + "/a.vdb", b = dir_ + "/b.vdb";
  ASSERT_EQ(Run(Write("src.txt", "# comment\n\n  \t\n" + canonical) + " " + a), 0) << err_;
  ASSERT_EQ(Run("-d " + a), 0) << err_;
  EXPECT_EQ(out_, canonical);
  ASSERT_EQ(Run(Write("again.txt", out_) + " " + b), 0) << err_;
  EXPECT_EQ(ReadAll(a), ReadAll(b));
  /* Each text is stored with its NUL. */
  DbT *db = DbTOpenFile(a.c_str(), 0);
  EXPECT_EQ(DbmTGetRecordSize(db, "25_1"), 11);
  EXPECT_EQ(Take(NlsFetchString(db, nullptr, NLS_FETCH_SET, 25, 2)),
            "line\none\ttab \\ back \x01 \xE9 ");
  DbTClose(db);
  /* A new build replaces an old database whole. */
  ASSERT_EQ(Run(Write("one.txt", "1_1\tx\n") + " " + a), 0) << err_;
  ASSERT_EQ(Run("-d " + a), 0);
  EXPECT_EQ(out_, "1_1\tx\n");
}

TEST_F(Mkcatalog, RefusesWhatItCannotRead) {
  std::pair<std::string, int> cases[] = {
      // clang-format off
      {"1_1 no tab\n", 1},    {"x_1\tkey\n", 1},       {"01_1\tleading zero\n", 1},
      {"1_\tnumber\n", 1},    {"9999999999_1\tbig\n", 1}, {"1_1\tbad \\q\n", 1},
      {"1_1\tbad \\x4\n", 1}, {"1_1\tends \\\n", 1},   {"1_1\tcrlf\r\n", 1},
      {"1_1\ta\n\n1_1\tb\n", 3}, {"#\n1_1\tok\n2_2\tbell \a\n", 3},
      // clang-format on
  };
  std::string out = Write("out.vdb", "old");
  for (const auto &c : cases) {
    std::string src = Write("bad.txt", c.first);
    EXPECT_EQ(Run(src + " " + out), 1) << c.first;
    EXPECT_EQ(err_.rfind(src + ":" + std::to_string(c.second) + ": ", 0), 0u) << err_;
    EXPECT_EQ(ReadAll(out), "old") << c.first;
  }
  EXPECT_EQ(Run(dir_ + "/missing.txt " + out), 1);
  EXPECT_EQ(Run(""), 2);
  /* A damaged database prints what can be read and fails. */
  ASSERT_EQ(Run(Write("ok.txt", "1_1\tfirst\n2_2\tsecond\n") + " " + out), 0);
  std::string bytes = ReadAll(out);
  EXPECT_EQ(Run("-d " + Write("cut.vdb", bytes.substr(0, bytes.size() - 3))), 1);
  EXPECT_EQ(out_, "1_1\tfirst\n");
  EXPECT_NE(err_.find("damaged"), std::string::npos);
  EXPECT_EQ(Run("-d " + dir_ + "/none.vdb"), 1);
}

}  // namespace
