/* Replacing a file through a copy: links at the copy's name, exact modes, failures that must
 * leave the target as it was. */
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "utils.h"

namespace {

class ReplaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/replace_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    target = dir + "/file";
    copy = dir + "/file.out";
    Write(target, "old\n");
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  static void Write(const std::string &path, const std::string &text) {
    std::ofstream(path) << text;
  }
  static std::string Read(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string dir, target, copy;
};

TEST_F(ReplaceTest, ReplacesThroughAFreshCopyWithTheExactModeAndNeverFollowsALink) {
  std::string victim = dir + "/victim";
  Write(victim, "secret\n");
  ASSERT_EQ(symlink(victim.c_str(), copy.c_str()), 0);
  mode_t old = umask(077);
  FILE *fp = OpenReplacement(copy.c_str(), 0755, -1, -1);
  umask(old);
  ASSERT_NE(fp, nullptr);
  fputs("new\n", fp);
  ASSERT_EQ(CommitReplacement(fp, copy.c_str(), target.c_str()), 1);
  EXPECT_EQ(Read(target), "new\n");
  EXPECT_EQ(Read(victim), "secret\n");
  struct stat st;
  ASSERT_EQ(lstat(target.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_NE(access(copy.c_str(), F_OK), 0);

  /* A copy given to another owner keeps its set-id bits (a change of owner clears them). */
  if (geteuid() == 0) {
    fp = OpenReplacement(copy.c_str(), 06755, 1234, 5678);
    ASSERT_NE(fp, nullptr);
    ASSERT_EQ(CommitReplacement(fp, copy.c_str(), target.c_str()), 1);
    ASSERT_EQ(lstat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 06755u);
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 5678u);
  }
}

TEST_F(ReplaceTest, AFailedRenameOrAbortRemovesTheCopyAndKeepsTheTarget) {
  std::string busy = dir + "/busy";
  ASSERT_EQ(mkdir(busy.c_str(), 0755), 0);
  Write(busy + "/inside", "x");
  FILE *fp = OpenReplacement(copy.c_str(), 0644, -1, -1);
  ASSERT_NE(fp, nullptr);
  fputs("new\n", fp);
  EXPECT_EQ(CommitReplacement(fp, copy.c_str(), busy.c_str()), 0); /* a full directory */
  EXPECT_NE(access(copy.c_str(), F_OK), 0);
  EXPECT_EQ(Read(busy + "/inside"), "x");

  fp = OpenReplacement(copy.c_str(), 0644, -1, -1);
  ASSERT_NE(fp, nullptr);
  AbortReplacement(fp, copy.c_str());
  EXPECT_NE(access(copy.c_str(), F_OK), 0);
  EXPECT_EQ(Read(target), "old\n");
  EXPECT_EQ(OpenReplacement((dir + "/missing/x").c_str(), 0644, -1, -1), nullptr);
}

TEST_F(ReplaceTest, AWriteThatDoesNotFitIsNeverPutInPlace) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &lim);
    FILE *fp = OpenReplacement(copy.c_str(), 0644, -1, -1);
    if (!fp) _exit(2);
    std::string big(100000, 'x');
    fwrite(big.data(), 1, big.size(), fp);
    int ok = CommitReplacement(fp, copy.c_str(), target.c_str());
    _exit(ok == 0 && access(copy.c_str(), F_OK) != 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Read(target), "old\n");
}

}  // namespace
