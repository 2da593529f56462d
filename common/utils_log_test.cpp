/* Tests of the run's log file and the error-reporting calls. */
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "SysCmd.h"
#include "utils.h"

namespace {

std::string ReadAll(const std::string &path) {
  std::ifstream in(path.c_str());
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

/* Names the program for this test and removes what an earlier run may have left. */
std::string UseName(const char *name) {
  my_name = const_cast<char *>(name);
  std::string log = std::string("/tmp/") + name + ".log";
  unlink(log.c_str());
  return log;
}

bool Exists(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(PutLogMsg, OffUntilLoggingIsTurnedOn) {
  std::string log = UseName("ut_log_off");
  flUseLog = 0;
  PutLogMsg("nothing %d\n", 1);
  EXPECT_FALSE(Exists(log));
  EXPECT_STREQ(pLogPath, "/tmp");
}

TEST(PutLogMsg, CreatesTheLogWorldWritableThenAppends) {
  std::string log = UseName("ut_log_append");
  flUseLog = 1;
  umask(022);
  PutLogMsg("first %s\n", "line");
  struct stat st;
  ASSERT_EQ(lstat(log.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0666u);
  PutLogMsg("second %d", 2);
  PutLogMsg("%s", "\n");
  EXPECT_EQ(ReadAll(log), "first line\nsecond 2\n");
  EXPECT_STREQ(pLogPath, "/tmp");
  EXPECT_EQ(pLog, nullptr); /* closed after every message */
  unlink(log.c_str());
}

TEST(PutLogMsg, EachRunStartsAFreshLog) {
  /* The child re-executes this program, so it is a new run with its own first message. */
  struct StyleGuard {
    std::string saved = GTEST_FLAG_GET(death_test_style);
    ~StyleGuard() { GTEST_FLAG_SET(death_test_style, saved); }
  } guard;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string log = UseName("ut_log_runs");
  {
    std::ofstream old(log.c_str());
    old << "left by an earlier run\n";
  }
  chmod(log.c_str(), 0644);
  EXPECT_EXIT(
      {
        flUseLog = 1;
        PutLogMsg("run two a\n");
        PutLogMsg("run two b\n");
        exit(0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadAll(log), "run two a\nrun two b\n");
  /* The existing file keeps its mode: it is not made again. */
  struct stat st;
  ASSERT_EQ(stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  unlink(log.c_str());
}

TEST(PutLogMsg, NeverWritesThroughALink) {
  std::string log = UseName("ut_log_link");
  char tmpl[] = "/tmp/ut_log_targetXXXXXX";
  int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "precious\n", 9), 9);
  close(fd);
  chmod(tmpl, 0600);
  ASSERT_EQ(symlink(tmpl, log.c_str()), 0);
  EXPECT_EQ(LogIsSafe(), 0);

  EXPECT_EXIT(
      {
        flUseLog = 1;
        PutLogMsg("first\n");
        PutLogMsg("second\n");
        exit(0);
      },
      testing::ExitedWithCode(0), "ERROR: couldn't open " + log + "\n.*ERROR: couldn't open");
  EXPECT_EQ(ReadAll(tmpl), "precious\n");
  struct stat st;
  ASSERT_EQ(stat(tmpl, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u); /* no chmod through the link */
  ASSERT_EQ(lstat(log.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  /* A dangling link must not create its target either. */
  unlink(tmpl);
  EXPECT_EXIT(
      {
        flUseLog = 1;
        PutLogMsg("x\n");
        exit(0);
      },
      testing::ExitedWithCode(0), "ERROR: couldn't open");
  EXPECT_FALSE(Exists(tmpl));
  unlink(log.c_str());
}

TEST(PutLogMsg, RefusesALogThatIsNotARegularFile) {
  std::string log = UseName("ut_log_fifo");
  ASSERT_EQ(mkfifo(log.c_str(), 0666), 0);
  EXPECT_EQ(LogIsSafe(), 0);
  EXPECT_EXIT(
      {
        flUseLog = 1;
        PutLogMsg("lost\n");
        exit(0);
      },
      testing::ExitedWithCode(0), "ERROR: couldn't open " + log);
  unlink(log.c_str());

  ASSERT_EQ(mkdir(log.c_str(), 0755), 0);
  EXPECT_EQ(LogIsSafe(), 0);
  rmdir(log.c_str());
}

TEST(LogIsSafe, AbsentOrRegular) {
  std::string log = UseName("ut_log_safe");
  EXPECT_EQ(LogIsSafe(), 1);
  { std::ofstream f(log.c_str()); }
  EXPECT_EQ(LogIsSafe(), 1);
  unlink(log.c_str());
  ASSERT_EQ(symlink("/tmp/ut_log_safe_nowhere", log.c_str()), 0);
  EXPECT_EQ(LogIsSafe(), 0);
  unlink(log.c_str());
  /* A name too long for the log path is refused, never cut. */
  std::string longName(300, 'n');
  my_name = const_cast<char *>(longName.c_str());
  EXPECT_EQ(LogIsSafe(), 0);
  my_name = const_cast<char *>("ut_log_safe");
}

TEST(PutLogMsg, OverlongNameLosesTheMessage) {
  std::string longName(300, 'n');
  my_name = const_cast<char *>(longName.c_str());
  flUseLog = 1;
  testing::internal::CaptureStderr();
  PutLogMsg("lost\n");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "ERROR: couldn't open /tmp/" + longName + ".log\n");
  my_name = const_cast<char *>("ut_log_long");
}

TEST(ErrorMsg, Levels) {
  my_name = const_cast<char *>("ut_log_error");
  testing::internal::CaptureStderr();
  EXPECT_EQ(ErrorMsg(0, 5, "quiet %d", 1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_STREQ(Line, "quiet 1");

  testing::internal::CaptureStderr();
  EXPECT_EQ(ErrorMsg(1, 5, "careful %s", "now"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: careful now\n");
  EXPECT_STREQ(Line, "careful now");

  testing::internal::CaptureStderr();
  EXPECT_EQ(ErrorMsg(7, 5, "other"), 7);
  EXPECT_EQ(ErrorMsg(-1, 5, "other"), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  /* A message longer than Line is cut to fit. */
  std::string big(LINE_SIZE + 100, 'b');
  EXPECT_EQ(ErrorMsg(0, 0, "%s", big.c_str()), 0);
  EXPECT_EQ(strlen(Line), static_cast<size_t>(LINE_SIZE - 1));
}

TEST(ErrorMsgDeath, LevelTwoEndsWithTheGivenStatus) {
  EXPECT_EXIT(ErrorMsg(2, 0, "cannot open %s", "x.cfg"), testing::ExitedWithCode(0),
              "ERROR: cannot open x.cfg\n");
  EXPECT_EXIT(ErrorMsg(2, 3, "three"), testing::ExitedWithCode(3), "ERROR: three\n");
}

TEST(Errormsg, NamePrefixedLine) {
  my_name = const_cast<char *>("ut_log_errormsg");
  testing::internal::CaptureStderr();
  errormsg("bad %s %d", "thing", 9);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ut_log_errormsg: bad thing 9\n");
  EXPECT_EXIT(exit_app(4), testing::ExitedWithCode(4), "");
}
