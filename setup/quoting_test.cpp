/* Tests of the shell words: each text, however hostile, reaches a real command as exactly
 * one argument, both on a plain shell line and inside SysCmd's '<sh> -c "..."'. */
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "SysCmd.h"
#include "setup.h"

namespace {

bool Exists(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

TEST(QuotingTest, WordsAreExact) {
  const struct {
    const char *text, *shell, *syscmd;
  } cases[] = {
      {"plain", "'plain'", "'plain'"},
      {"", "''", "''"},
      {"My Disk", "'My Disk'", "'My Disk'"},
      {"it's", "'it'\\''s'", "'it'\\''s'"},
      {"a$(b)`c`\"d\\", "'a$(b)`c`\"d\\'", "'a\\$(b)\\`c\\`\\\"d\\\\'"},
  };
  for (const auto &c : cases) {
    EXPECT_STREQ(Quoted(QUOTE_SHELL, "%s", c.text).str, c.shell) << c.text;
    EXPECT_STREQ(Quoted(QUOTE_SYSCMD, "%s", c.text).str, c.syscmd) << c.text;
  }
  EXPECT_STREQ(Quoted(QUOTE_SHELL, "%s/%s", "/media/My Disk", "x").str, "'/media/My Disk/x'");
}

/* touch, run both ways, makes a file of exactly each name, and the commands hidden in the
 * names (which would make the file "M") never run. */
TEST(QuotingTest, HostileNamesAreOnlyNames) {
  my_name = const_cast<char *>("quoting_test");
  char pattern[] = "/tmp/ut_quoting_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  ASSERT_EQ(chdir(pattern), 0); /* a command that escaped would make M here */
  const char *names[] = {"My Disk",   "x$(touch M)", "x`touch M`", "a;touch M", "a|touch M",
                         "a&touch M", "a>M",         "a\"b",       "it's",      "'",
                         "b\\s\\",    "$HOME",       "a\nb",       "''\\''",    " -r x"};
  for (const char *name : names) {
    const std::string shellName = std::string("s") + name, tableName = std::string("t") + name;
    const std::string line =
        std::string("touch ") + Quoted(QUOTE_SHELL, "%s/%s", dir.c_str(), shellName.c_str()).str;
    EXPECT_EQ(system(line.c_str()), 0) << name;
    EXPECT_EQ(SysCmd(CMD_TOUCH, LOG_QUIET, "%s",
                     Quoted(QUOTE_SYSCMD, "%s/%s", dir.c_str(), tableName.c_str()).str),
              0)
        << name;
    EXPECT_TRUE(Exists(dir + "/" + shellName)) << name;
    EXPECT_TRUE(Exists(dir + "/" + tableName)) << name;
  }
  EXPECT_FALSE(Exists(dir + "/M"));
  ASSERT_EQ(chdir("/"), 0);
  EXPECT_EQ(system(("rm -rf " + std::string(Quoted(QUOTE_SHELL, "%s", pattern).str)).c_str()), 0);
}

}  // namespace
