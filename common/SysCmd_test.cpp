/* Tests of the command table, its resolution and the runner, with fake commands: small
 * shell scripts in a temporary directory that record their arguments and exit with a
 * chosen status. The fake "sh" records the line it is given with -c, then runs it. */
#include "SysCmd.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "MemMgr.h"
#include "gtest/gtest.h"
#include "utils.h"

namespace {

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

void WriteScript(const std::string &path, const std::string &body) {
  unlink(path.c_str()); /* never write through a link to a real tool */
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "#!/bin/sh\n" << body;
  out.close();
  chmod(path.c_str(), 0755);
}

/* The last line of text that contains needle, "" when none does. */
std::string LastLineWith(const std::string &text, const std::string &needle) {
  std::string found, line;
  std::istringstream in(text);
  while (std::getline(in, line))
    if (line.find(needle) != std::string::npos) found = line;
  return found;
}

/* Managed string to std::string, releasing it. */
std::string Take(char *managed) {
  std::string s = managed != nullptr ? managed : "(null)";
  PutMem(managed);
  return s;
}

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

class SysCmdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ut_syscmd_dirXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    fixed1_ = root_ + "/fixed1";
    fixed2_ = root_ + "/fixed2";
    pathdir_ = root_ + "/pathdir";
    for (const auto &d : {fixed1_, fixed2_, pathdir_}) ASSERT_EQ(mkdir(d.c_str(), 0755), 0);

    char cwd[4096];
    savedCwd_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
    name_ =
        std::string("ut_syscmd_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    my_name = name_.data();
    log_ = "/tmp/" + name_ + ".log";
    unlink(log_.c_str());
    std::ofstream(log_).close();
    chmod(log_.c_str(), 0666);

    WriteScript(fixed1_ + "/sh",
                "printf '%s\\n' \"$2\" >> " + root_ + "/sh.rec\nexec /bin/sh \"$@\"\n");
    /* The log is created through touch and chmod: wrappers around the real tools. */
    for (const char *tool : {"touch", "chmod"}) {
      std::string real = std::string("/usr/bin/") + tool;
      if (!Exists(real)) real = std::string("/bin/") + tool;
      WriteScript(fixed1_ + "/" + tool, "exec " + real + " \"$@\"\n");
    }

    const char *path = getenv("PATH");
    savedPath_ = path ? path : "";
    const char *shell = getenv("SHELL");
    hadShell_ = shell != nullptr;
    savedShell_ = shell ? shell : "";
    setenv("PATH", pathdir_.c_str(), 1);

    for (auto &row : ComList) row.dir = nullptr;
    flInitSysCmd = 1;
    flSysCmdLog = 0;
    FullSearchPath = nullptr;
    flUseLog = 1;
    savedSearch_ = SearchPaths;
    SetSearch(fixed1_ + ":" + fixed2_);
  }

  void TearDown() override {
    if (chdir(savedCwd_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << savedCwd_;
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    unlink(log_.c_str());
    setenv("PATH", savedPath_.c_str(), 1);
    if (hadShell_)
      setenv("SHELL", savedShell_.c_str(), 1);
    else
      unsetenv("SHELL");
    SearchPaths = savedSearch_;
    for (auto &row : ComList) row.dir = nullptr;
    PutMem(FullSearchPath);
    FullSearchPath = nullptr;
    flInitSysCmd = 1;
    flSysCmdLog = 0;
  }

  void SetSearch(const std::string &list) {
    search_.assign(list.begin(), list.end());
    search_.push_back('\0');
    SearchPaths = search_.data();
  }

  /* A fake command that records "$0 $*", writes one line to each output, exits status. */
  void Fake(const std::string &dir, const std::string &name, int status = 0) {
    WriteScript(dir + "/" + name, "printf '%s\\n' \"$0 $*\" >> " + root_ + "/rec\necho " + name +
                                      "-stdout\necho " + name + "-stderr >&2\nexit " +
                                      std::to_string(status) + "\n");
  }

  std::string Rec() { return ReadFile(root_ + "/rec"); }
  std::string ShRec() { return ReadFile(root_ + "/sh.rec"); }
  std::string Log() { return ReadFile(log_); }
  std::string LogRedir() { return " 1>>/tmp/" + name_ + ".log 2>>/tmp/" + name_ + ".log"; }

  std::string root_, fixed1_, fixed2_, pathdir_, name_, log_;
  std::string savedPath_, savedShell_, savedCwd_;
  bool hadShell_ = false;
  char *savedSearch_ = nullptr;
  std::vector<char> search_;
};

TEST(SysCmdTable, RowsKeepTheirIndicesFlagsAndSettleTimes) {
  const char *names[] = {"",
                         "",
                         "cancel",
                         "cat",
                         "chgrp",
                         "chmod",
                         "chown",
                         "clear",
                         "compress",
                         "cp",
                         "cp",
                         "cupsd",
                         "id",
                         "echo",
                         "eject",
                         "eject",
                         "file",
                         "ln",
                         "lp",
                         "lpc",
                         "lpr",
                         "lprm",
                         "lpstat",
                         "ls",
                         "kill",
                         "mv",
                         "mkdir",
                         "more",
                         "ping",
                         "rm",
                         "rm",
                         "sh",
                         "sleep",
                         "tar",
                         "tar",
                         "touch",
                         "uncompress",
                         "whoami",
                         "zcat",
                         "uname",
                         "sed",
                         "du",
                         "checkpc",
                         "lpd",
                         "pkgadd",
                         "pkginfo",
                         "pkgrm",
                         "accept",
                         "disable",
                         "cupsdisable",
                         "enable",
                         "cupsenable",
                         "lpadmin",
                         "lpfilter",
                         "lpsched",
                         "lpshut",
                         "lpsystem",
                         "ps",
                         "bar",
                         "df",
                         "lpq",
                         "ypcat",
                         "reject",
                         "pmadm",
                         "sacadm",
                         "volcheck",
                         "capture",
                         "lpset",
                         "instnetpr",
                         "piomkpq",
                         "piomisc_ext",
                         "piomisc_base",
                         "lsallq",
                         "mkque",
                         "mkquedev",
                         "rmque",
                         "rmquedev",
                         "piochdfq",
                         "enq",
                         "lsquedev",
                         "lsque",
                         "startsrc",
                         "stopsrc",
                         "lssrc"};
  static_assert(sizeof names / sizeof names[0] == 84, "84 named rows");
  for (int i = 0; i < 84; ++i) {
    ASSERT_NE(ComList[i].name, nullptr) << i;
    EXPECT_STREQ(ComList[i].name, names[i]) << i;
    ASSERT_NE(ComList[i].flags, nullptr) << i;
  }
  EXPECT_EQ(ComList[84].name, nullptr);
  EXPECT_EQ(ComList[84].flags, nullptr);

  struct {
    int row;
    const char *flags;
  } withFlags[] = {{9, "-p"},    {10, "-pr"}, {14, "-f"}, {15, "-q"},  {24, "-KILL"},
                   {25, "-f"},   {26, "-p"},  {29, "-f"}, {30, "-rf"}, {33, "cvfp"},
                   {34, "xvfp"}, {41, "-s"},  {57, "-e"}, {60, "-P"}};
  int flagged = 0;
  for (const auto &f : withFlags) EXPECT_STREQ(ComList[f.row].flags, f.flags) << f.row;
  for (int i = 0; i < 84; ++i) flagged += ComList[i].flags[0] != '\0';
  EXPECT_EQ(flagged, 15); /* the fourteen above and df */
#if defined(__sun)
  EXPECT_STREQ(ComList[CMD_DF].flags, "-b");
#else
  EXPECT_STREQ(ComList[CMD_DF].flags, "-Pk");
#endif

  const int one[] = {14, 15, 19, 21, 22, 44, 46, 47, 48, 49, 50, 51,
                     52, 53, 54, 55, 56, 62, 63, 64, 67, 68, 81};
  int expected[SYSCMD_ROWS] = {};
  expected[2] = 2;
  for (int r : one) expected[r] = 1;
  for (int i = 0; i < SYSCMD_ROWS; ++i) EXPECT_EQ(ComList[i].wait, expected[i]) << i;
  EXPECT_EQ(flInitSysCmd, 1); /* lazy until InitSysCmdList */
}

TEST_F(SysCmdTest, InitResolvesFixedDirectoriesFirstAndSkipsRelativePathEntries) {
  for (const char *c : {"cp", "mkdir"}) Fake(fixed1_, c);
  for (const char *c : {"cp", "whoami"}) Fake(fixed2_, c);
  for (const char *c : {"cp", "whoami", "pkgadd"}) Fake(pathdir_, c);
  ASSERT_EQ(mkdir((root_ + "/rel").c_str(), 0755), 0);
  Fake(root_ + "/rel", "lssrc");
  ASSERT_EQ(chdir(root_.c_str()), 0);
  setenv("PATH", ("rel:" + pathdir_).c_str(), 1);

  EXPECT_EQ(InitSysCmdList(7), 7);

  EXPECT_EQ(flInitSysCmd, 0);
  EXPECT_EQ(flSysCmdLog, 1);
  ASSERT_NE(ComList[9].dir, nullptr);
  EXPECT_EQ(ComList[9].dir, fixed1_);
  EXPECT_EQ(ComList[10].dir, ComList[9].dir); /* same name, same directory */
  EXPECT_EQ(std::string(ComList[37].dir ? ComList[37].dir : ""), fixed2_);
  EXPECT_EQ(std::string(ComList[44].dir ? ComList[44].dir : ""), pathdir_);
  EXPECT_EQ(ComList[83].dir, nullptr); /* only in a relative PATH entry */
  EXPECT_EQ(ComList[3].dir, nullptr);
  ASSERT_NE(getenv("SHELL"), nullptr);
  EXPECT_EQ(std::string(getenv("SHELL")), fixed1_ + "/sh ");
  ASSERT_NE(FullSearchPath, nullptr);
  EXPECT_EQ(std::string(FullSearchPath), fixed1_ + ":" + fixed2_ + ":rel:" + pathdir_);
  EXPECT_EQ(Log(), "initializing system\n");

  /* Resolved mode: a command that appears later is not looked up any more. */
  Fake(fixed1_, "cat");
  EXPECT_EQ(TestCmd(3), 0);
  EXPECT_EQ(GetCmd(3), nullptr);
  EXPECT_EQ(Take(GetCmd(37)), fixed2_ + "/whoami ");
  EXPECT_EQ(Take(GetCmdNoFlags(44)), pathdir_ + "/pkgadd");
  EXPECT_EQ(Take(GetCmd(10)), fixed1_ + "/cp -pr");
}

TEST_F(SysCmdTest, ResolutionStopsOnceEveryRowIsFound) {
  EXPECT_EQ(FillCmdPaths((root_ + "/missing").c_str()), 1);
  Fake(fixed2_, "cp");
  EXPECT_EQ(FillCmdPaths(fixed2_.c_str()), 1); /* cp found, the others are not */
  EXPECT_EQ(std::string(ComList[9].dir), fixed2_);
  ComList[9].dir = ComList[10].dir = nullptr;

  for (int i = 2; i <= CMD_LAST; ++i)
    if (!Exists(fixed1_ + "/" + ComList[i].name)) Fake(fixed1_, ComList[i].name);
  Fake(pathdir_, "whoami");
  std::string fixed1 = fixed1_;
  SetSearch(fixed1_ + ":" + fixed2_ + ":" + root_ + "/third");
  InitSysCmdList(0);
  for (int i = 2; i <= CMD_LAST; ++i)
    EXPECT_EQ(std::string(ComList[i].dir ? ComList[i].dir : ""), fixed1) << i;
  /* The list is split in place as it is walked: the entries after the first were never
   * reached, so their separator is still there. */
  std::string rest(search_.data() + fixed1.size() + 1);
  EXPECT_EQ(rest, fixed2_ + ":" + root_ + "/third");
}

TEST_F(SysCmdTest, LazyResolutionBeforeInitSkipsRelativeAndEmptyPathEntries) {
  Fake(fixed1_, "cp");
  Fake(fixed2_, "whoami");
  Fake(pathdir_, "pkgadd");
  Fake(pathdir_, "mkdir");
  /* lssrc only where a relative or an empty PATH entry leads from the current directory. */
  ASSERT_EQ(mkdir((root_ + "/rel").c_str(), 0755), 0);
  Fake(root_ + "/rel", "lssrc");
  Fake(root_, "lssrc");
  ASSERT_EQ(chdir(root_.c_str()), 0);
  setenv("PATH", ("rel::" + pathdir_).c_str(), 1);

  EXPECT_EQ(TestCmd(37), 1);
  EXPECT_EQ(std::string(ComList[37].dir), fixed2_);
  EXPECT_EQ(Take(GetCmd(37)), fixed2_ + "/whoami "); /* no flags: ends in a blank */
  EXPECT_EQ(Take(GetCmd(9)), fixed1_ + "/cp -p");
  EXPECT_EQ(Take(GetCmdNoFlags(44)), pathdir_ + "/pkgadd");
  EXPECT_EQ(GetCmdNoFlags(84), nullptr);
  EXPECT_EQ(GetCmd(83), nullptr);
  EXPECT_EQ(TestCmd(83), 0);
  EXPECT_EQ(FillCmdPath(83), 0);
  EXPECT_EQ(TestCmd(0), 0);
  EXPECT_EQ(TestCmd(1), 0);
  ASSERT_NE(FullSearchPath, nullptr);
  EXPECT_EQ(std::string(FullSearchPath), fixed1_ + ":" + fixed2_ + ":rel::" + pathdir_);

  /* A lookup does not disturb a tokenizer scan in progress. */
  EXPECT_STREQ(GetToken("a b c", " "), "a");
  EXPECT_EQ(TestCmd(45), 0);
  EXPECT_STREQ(GetToken(nullptr, " "), "b");

  /* The runner resolves the command and the shell on first use. */
  EXPECT_EQ(SysCmd(26, 0, "%s", "lazy"), 0);
  EXPECT_EQ(Rec(), pathdir_ + "/mkdir -p lazy\n");
  EXPECT_EQ(std::string(ComList[31].dir), fixed1_);
  EXPECT_EQ(flInitSysCmd, 1);
}

TEST_F(SysCmdTest, LoggedCommandLineDotAndLogRedirection) {
  Fake(fixed1_, "mkdir");
  InitSysCmdList(0);

  testing::internal::CaptureStdout();
  errno = 0;
  int rc = SysCmd(26, 2, "%s", "/opt/x");
  std::string out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, ".");
  EXPECT_EQ(Rec(), fixed1_ + "/mkdir -p /opt/x\n");
  EXPECT_EQ(LastLineWith(ShRec(), "mkdir"), fixed1_ + "/mkdir -p /opt/x" + LogRedir());
  EXPECT_EQ(Log(), "initializing system\n" + fixed1_ + "/sh -c \"" + fixed1_ +
                       "/mkdir -p /opt/x\nmkdir-stdout\nmkdir-stderr\n");
}

TEST_F(SysCmdTest, TerminalModeHasNoRedirectionLogNorDot) {
  Fake(fixed1_, "pkgadd");
  InitSysCmdList(0);

  testing::internal::CaptureStdout();
  double t0 = Now();
  int rc = SysCmd(-44, 1, "-d %s", "media");
  double took = Now() - t0;
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, "pkgadd-stdout\n"); /* the command's own output, no dot */
  EXPECT_EQ(LastLineWith(ShRec(), "pkgadd"), fixed1_ + "/pkgadd  -d media");
  EXPECT_EQ(Log().find("pkgadd"), std::string::npos);
  EXPECT_GE(took, 1.0); /* row 44 settles one second */

  testing::internal::CaptureStdout();
  rc = SysCmd(44, 1, "-d %s", "other");
  out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, ".");
  EXPECT_EQ(LastLineWith(ShRec(), "pkgadd"), fixed1_ + "/pkgadd  -d other" + LogRedir());
  EXPECT_NE(Log().find(fixed1_ + "/pkgadd  -d other\npkgadd-stdout\npkgadd-stderr\n"),
            std::string::npos);

  /* Mode 0 discards the output in terminal mode too. */
  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(-44, 0, "-q"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(LastLineWith(ShRec(), "pkgadd"), fixed1_ + "/pkgadd  -q 1>/dev/null 2>/dev/null");
}

TEST_F(SysCmdTest, RowsZeroAndOneRunTheCallersLineWithoutShellWrapper) {
  Fake(fixed2_, "echoer");
  InitSysCmdList(0);
  std::string echoer = fixed2_ + "/echoer";

  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(0, 0, "%s a b", echoer.c_str()), 0); /* a quote would break the line */
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(0, 1, "%s c", echoer.c_str()), 0); /* index 0 is never logged */
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "echoer-stdout\n");

  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(1, 1, "%s d", echoer.c_str()), 0); /* index 1 is a logged line */
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");

  EXPECT_EQ(Rec(), echoer + " a b\n" + echoer + " c\n" + echoer + " d\n");
  EXPECT_EQ(ShRec().find("echoer"), std::string::npos);
  EXPECT_EQ(Log(), "initializing system\n" + echoer + " d\nechoer-stdout\nechoer-stderr\n");
}

TEST_F(SysCmdTest, WithoutLogTheOutputGoesToDevNull) {
  Fake(fixed1_, "mkdir");
  unlink(log_.c_str());
  flUseLog = 0;
  InitSysCmdList(0);
  EXPECT_EQ(flSysCmdLog, 0);

  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(26, 1, "a"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(LastLineWith(ShRec(), "mkdir"), fixed1_ + "/mkdir -p a 1>>/dev/null 2>>/dev/null");

  flSysCmdLog = 1; /* dots without a log file */
  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(26, 2, "b"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
  EXPECT_EQ(LastLineWith(ShRec(), "mkdir"), fixed1_ + "/mkdir -p b 1>>/dev/null 2>>/dev/null");
  EXPECT_FALSE(Exists(log_));
}

TEST_F(SysCmdTest, LogThatIsALinkNeverReceivesCommandOutput) {
  Fake(fixed1_, "mkdir");
  std::string target = root_ + "/target";
  std::ofstream(target).close();
  unlink(log_.c_str());
  ASSERT_EQ(symlink(target.c_str(), log_.c_str()), 0);
  InitSysCmdList(0);

  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(26, 1, "viaLink"), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(LastLineWith(ShRec(), "mkdir"),
            fixed1_ + "/mkdir -p viaLink 1>>/dev/null 2>>/dev/null");
  EXPECT_EQ(ReadFile(target), "");
  struct stat st;
  ASSERT_EQ(lstat(log_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  /* Once the log is a regular file again the output goes there. */
  unlink(log_.c_str());
  std::ofstream(log_).close();
  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(26, 1, "plain"), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(LastLineWith(ShRec(), "mkdir"), fixed1_ + "/mkdir -p plain" + LogRedir());
  EXPECT_NE(Log().find("mkdir-stdout"), std::string::npos);
}

TEST_F(SysCmdTest, FatalModeFailureEndsTheRunWithStatusOne) {
  Fake(fixed1_, "mkdir", 3);
  InitSysCmdList(0);
  std::string outFile = root_ + "/stdout";
  EXPECT_EXIT(
      {
        int fd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        errno = 0; /* the failure must not depend on errno */
        SysCmd(26, 2, "%s", "/x");
      },
      testing::ExitedWithCode(1), "");
  EXPECT_EQ(ReadFile(outFile), ".ERROR: exit status 3\n");
  std::string log = Log();
  EXPECT_NE(log.find(fixed1_ + "/mkdir -p /x\nmkdir-stdout\nmkdir-stderr\nERROR: exit status 3\n"),
            std::string::npos)
      << log;
}

TEST_F(SysCmdTest, WarningModeFailureIsLoggedAndReturned) {
  Fake(fixed1_, "mkdir", 3);
  Fake(fixed1_, "chgrp", 4);
  Fake(fixed1_, "cp", 200);
  Fake(fixed1_, "mv", 0);
  InitSysCmdList(0);

  testing::internal::CaptureStdout();
  errno = 0;
  EXPECT_EQ(SysCmd(26, 1, "a"), 3);
  errno = 0;
  EXPECT_EQ(SysCmd(4, 1, "b"), 4); /* 4 is a status like any other */
  EXPECT_EQ(SysCmd(9, 1, "c d"), 200);
  EXPECT_EQ(SysCmd(0, 1, "kill -9 $$"), 128 + 9);
  errno = EINTR; /* a success stays a success whatever errno holds */
  EXPECT_EQ(SysCmd(25, 1, "e f"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "....");

  std::string log = Log();
  EXPECT_NE(log.find("mkdir-stderr\nWARNING_MSG: exit status 3\n"), std::string::npos) << log;
  EXPECT_NE(log.find("chgrp-stderr\nWARNING_MSG: exit status 4\n"), std::string::npos) << log;
  EXPECT_NE(log.find("cp-stderr\nWARNING_MSG: exit status 200\n"), std::string::npos) << log;
  EXPECT_NE(log.find("WARNING_MSG: killed by signal 9\n"), std::string::npos) << log;
  EXPECT_EQ(LastLineWith(log, "WARNING_MSG"), "WARNING_MSG: killed by signal 9"); /* mv: none */

  /* Mode 0 reports nothing but still returns the failure. */
  testing::internal::CaptureStderr();
  EXPECT_EQ(SysCmd(26, 0, "quiet"), 3);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(Log(), log);
}

TEST_F(SysCmdTest, UnresolvedRowEndsTheRunWithStatusZero) {
  InitSysCmdList(0);
  EXPECT_EQ(TestCmd(83), 0);
  EXPECT_EXIT(SysCmd(83, 1, "%s", "-a"), testing::ExitedWithCode(0),
              "^ERROR: unable to locate system command 'lssrc'\n$");
  EXPECT_EXIT(SysCmd(-83, 0, "x"), testing::ExitedWithCode(0), "'lssrc'");
}

TEST_F(SysCmdTest, MissingShellEndsTheFirstTableCommand) {
  Fake(fixed1_, "mkdir");
  Fake(fixed1_, "echoer");
  unlink((fixed1_ + "/sh").c_str());
  unsetenv("SHELL");
  flUseLog = 0;
  InitSysCmdList(0);
  EXPECT_EQ(ComList[CMD_SH].dir, nullptr);
  EXPECT_EQ(getenv("SHELL"), nullptr);
  EXPECT_EXIT(SysCmd(26, 1, "x"), testing::ExitedWithCode(0),
              "ERROR: unable to locate system command 'sh'\n");
  EXPECT_EQ(SysCmd(0, 0, "%s/echoer", fixed1_.c_str()), 0); /* whole lines still run */
  EXPECT_EQ(Rec(), fixed1_ + "/echoer \n");
}

TEST_F(SysCmdTest, CommandLineThatDoesNotFitIsNeverRun) {
  Fake(fixed1_, "mkdir");
  InitSysCmdList(0);
  const std::string prefix = fixed1_ + "/sh -c \"" + fixed1_ + "/mkdir -p ";
  const size_t room = 4095 - prefix.size() - LogRedir().size() - 1; /* 1: closing quote */

  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(26, 1, "%s", std::string(room + 1, 'a').c_str()), E2BIG);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ""); /* no dot either */
  EXPECT_FALSE(Exists(root_ + "/rec"));
  EXPECT_NE(Log().find("WARNING_MSG: command line too long for system command 'mkdir'\n"),
            std::string::npos);

  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(26, 1, "%s", std::string(room, 'b').c_str()), 0); /* exactly fits */
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
  EXPECT_EQ(Rec(), fixed1_ + "/mkdir -p " + std::string(room, 'b') + "\n");

  const std::string big(5000, 'c');
  testing::internal::CaptureStderr();
  EXPECT_NE(SysCmd(26, 0, "%s", big.c_str()), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("command line too long"),
            std::string::npos);
  EXPECT_NE(SysCmd(1, 0, "%s", big.c_str()), 0);
  EXPECT_EXIT(SysCmd(26, 2, "%s", big.c_str()), testing::ExitedWithCode(1), "");
  EXPECT_EQ(Rec().find(std::string(50, 'c')), std::string::npos);

  testing::internal::CaptureStderr();
  EXPECT_EQ(SysCmdP(1, "%s/mkdir %s", fixed1_.c_str(), std::string(600, 'd').c_str()), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("WARNING_MSG: command line too long"),
            std::string::npos);
  EXPECT_EQ(Rec().find(std::string(50, 'd')), std::string::npos);
}

TEST_F(SysCmdTest, IndexOutsideTheTableFailsWithoutRunning) {
  InitSysCmdList(0);
  EXPECT_NE(SysCmd(84, 1, "x"), 0);
  EXPECT_NE(SysCmd(-1000, 0, "x"), 0);
  EXPECT_NE(Log().find("WARNING_MSG: no system command at index 84\n"), std::string::npos);
  EXPECT_EQ(GetCmd(84), nullptr);
  EXPECT_EQ(GetCmd(-3), nullptr);
  EXPECT_EQ(GetCmdNoFlags(85), nullptr);
  EXPECT_EQ(TestCmd(84), 0);
  EXPECT_EQ(FillCmdPath(84), 0);
}

TEST_F(SysCmdTest, SettleUntilTheCommandShowsInTheProcessTable) {
  Fake(fixed1_, "cancel");
  const std::string count = root_ + "/ps.count";
  auto fakePs = [&](int showFrom) {
    WriteScript(fixed1_ + "/ps", "n=0\n[ -f " + count + " ] && read n < " + count +
                                     "\nn=$((n+1))\necho $n > " + count +
                                     "\necho '  PID TTY          TIME CMD'\n[ $n -ge " +
                                     std::to_string(showFrom) +
                                     " ] && echo ' 4242 ?        00:00:00 cancel'\nexit 0\n");
  };
  fakePs(3);
  InitSysCmdList(0);
  ComList[2].wait = -1;

  testing::internal::CaptureStdout();
  double t0 = Now();
  EXPECT_EQ(SysCmd(2, 1, "lp1"), 0);
  double took = Now() - t0;
  EXPECT_EQ(ReadFile(count), "3\n"); /* shown on the third look */
  EXPECT_GE(took, 2.0);
  EXPECT_EQ(Log().find("Time out"), std::string::npos);

  unlink(count.c_str());
  fakePs(1000);
  t0 = Now();
  EXPECT_EQ(SysCmd(2, 1, "lp2"), 0); /* the time-out does not change the result */
  took = Now() - t0;
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(ReadFile(count), "11\n"); /* one look and ten more */
  EXPECT_GE(took, 10.0);
  EXPECT_NE(Log().find("ERROR: Time out for command cancel\n"), std::string::npos);
  ComList[2].wait = 2;
}

TEST_F(SysCmdTest, SysCmdPDecodesTheExitStatus) {
  Fake(fixed1_, "echoer");
  const std::string echoer = fixed1_ + "/echoer";

  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(SysCmdP(1, "%s p q", echoer.c_str()), 1);
  EXPECT_EQ(SysCmdP(1, "exit 2"), 1); /* reported, whatever status it is */
  EXPECT_EQ(SysCmdP(1, "kill -9 $$"), 1);
  EXPECT_EQ(SysCmdP(0, "exit 3"), 0);
  std::string err = testing::internal::GetCapturedStderr();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, echoer + " p q\nechoer-stdout\nexit 2\nkill -9 $$\n");
  EXPECT_EQ(err, "echoer-stderr\nWARNING_MSG: exit status 2\nWARNING_MSG: killed by signal 9\n");
  EXPECT_EQ(Rec(), echoer + " p q\n");

  EXPECT_EXIT(SysCmdP(2, "exit 3"), testing::ExitedWithCode(1), "ERROR: exit status 3\n");
}

}  // namespace
