/* Tests of the host probes with fake lpd, ps and whoami commands. */
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

/* Each test gets a fake command directory that is the only place commands resolve from. */
class ProbesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = std::string("ut_probes_") + info->name();
    my_name = const_cast<char *>(name_.c_str());
    char tmpl[] = "/tmp/ut_probes_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    const char *path = getenv("PATH");
    savedPath_ = path ? path : "";
    setenv("PATH", "", 1);
    snprintf(search_, sizeof search_, "%s", dir_.c_str());
    savedSearch_ = SearchPaths;
    UseSearchPaths(search_);
  }
  void TearDown() override {
    UseSearchPaths(savedSearch_);
    setenv("PATH", savedPath_.c_str(), 1);
    std::filesystem::remove_all(dir_);
  }
  /* Forgets earlier resolutions so that the next lookups use list. */
  static void UseSearchPaths(char *list) {
    for (int i = 2; i <= CMD_LAST; ++i) ComList[i].dir = nullptr;
    PutMem(FullSearchPath);
    FullSearchPath = nullptr;
    SearchPaths = list;
    flInitSysCmd = 1;
  }
  void FakeCommand(const std::string &name, const std::string &body) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
  }
  /* Drops what an earlier probe resolved, so that a changed fake is looked up again. */
  static void Forget(int row) { ComList[row].dir = nullptr; }

  std::string name_, dir_, savedPath_;
  char search_[512];
  char *savedSearch_ = nullptr;
};

TEST_F(ProbesTest, SniffLprngLooksForLPRngInTheVersionOfLpd) {
  EXPECT_EQ(SniffLprng(), 0); /* no lpd at all */

  /* The version goes to standard error, as LPRng's lpd writes it. */
  FakeCommand("lpd", "[ \"$1\" = -V ] && echo 'lpd (LPRng) 3.8' >&2\nexit 1");
  Forget(CMD_LPD);
  EXPECT_EQ(SniffLprng(), 1);

  FakeCommand("lpd", "echo 'lpd: BSD line printer daemon' >&2\nexit 1");
  EXPECT_EQ(SniffLprng(), 0);
}

TEST_F(ProbesTest, SniffCUPSLooksForARunningCupsd) {
  FakeCommand("ps",
              "echo '  PID TTY          TIME CMD'\n"
              "echo '    1 ?        00:00:02 init'\n"
              "echo '  412 ?        00:00:01 cupsd'");
  EXPECT_EQ(SniffCUPS(), 1);

  FakeCommand("ps",
              "echo '  PID TTY          TIME CMD'\n"
              "echo '  413 ?        00:00:01 cupsd-browsed'\n"
              "echo '  414 ?        00:00:01 lpd'");
  EXPECT_EQ(SniffCUPS(), 0);
}

TEST_F(ProbesTest, GetUserNameReadsWhoami) {
  FakeCommand("whoami", "printf 'alice\\r\\nbob\\n'");
  char *user = GetUserName();
  ASSERT_NE(user, nullptr);
  EXPECT_STREQ(user, "alice");
  PutMem(user);

  /* whoami that knows no name: the user id decides. */
  FakeCommand("whoami", "exit 1");
  user = GetUserName();
  ASSERT_NE(user, nullptr);
  if (getuid() == 0)
    EXPECT_STREQ(user, "root");
  else
    EXPECT_EQ(std::string(user), "User ID:  " + std::to_string(getuid()));
  PutMem(user);
}

TEST_F(ProbesTest, GetUserNameWithoutWhoami) {
  char *user = GetUserName();
  ASSERT_NE(user, nullptr);
  if (getuid() == 0)
    EXPECT_STREQ(user, "root");
  else
    EXPECT_EQ(std::string(user), "User ID:  " + std::to_string(getuid()));
  PutMem(user);

  /* The other branch, in a child process that gives up root. */
  if (getuid() == 0) {
    EXPECT_EXIT(
        {
          if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
          char *name = GetUserName();
          _exit(name && std::string(name) == "User ID:  65534" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

TEST_F(ProbesTest, GetHostnameGivesTheNodeName) {
  struct utsname u;
  ASSERT_EQ(uname(&u), 0);
  char *host = GetHostname();
  ASSERT_NE(host, nullptr);
  EXPECT_STREQ(host, u.nodename);
  PutMem(host);
}

}  // namespace
