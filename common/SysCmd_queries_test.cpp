#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "MemMgr.h"
#include "SysCmd.h"
#include "fake_commands_test.h"

namespace {

class QueriesTest : public FakeCommandTest {
 protected:
  /* A fake command that records its arguments, one a line, in <name>.args and prints
   * <name>.out. */
  void FakeOutput(const std::string &name, const std::string &output) {
    WriteFile(name + ".out", output);
    std::string args = "'" + dir_ + "/" + name + ".args'";
    WriteCommand(name, ": >> " + args + "\nfor a; do printf '%s\\n' \"$a\" >> " + args +
                           "; done\ncat '" + dir_ + "/" + name + ".out'");
  }
};

/* Takes a managed string, returns it as std::string ("(null)" for null) and releases it. */
std::string Take(char *managed) {
  if (managed == nullptr) return "(null)";
  std::string text(managed);
  PutMem(managed);
  return text;
}

double Seconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

/* The signal that ended child, waiting up to 5 seconds; 0 when it ended otherwise or not
 * at all (it is then killed here so that no test leaves it behind). */
int EndSignal(pid_t child) {
  int status = 0;
  for (int i = 0; i < 50; ++i) {
    if (waitpid(child, &status, WNOHANG) == child)
      return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    usleep(100000);
  }
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  return 0;
}

constexpr const char *kPs =
    "  PID TTY          TIME CMD\n"
    "  412 ?        00:00:00 cupsd\n"
    " 500 pts/0 00:00:00 lpsched2\n"
    "  501 ?        00:00:00 lpsched\n"
    "  502 pts/1    00:00:00 vi lpsched\n"
    "  503 ?\t00:00:00 lpsched\n"
    "   77 ?        00:00:00 cu\n";

TEST_F(QueriesTest, PsIdListMatchesTheCommandColumnExactly) {
  my_name = const_cast<char *>("ut_queries_psid");
  FakeOutput("ps", kPs);

  EXPECT_EQ(Take(GetSysPsIdList("lpsched")), " 501 503 ");
  EXPECT_EQ(Take(GetSysPsIdList("lpsched2")), " 500 ");
  EXPECT_EQ(Take(GetSysPsIdList("cupsd")), " 412 ");
  EXPECT_EQ(Take(GetSysPsIdList("ups")), "(null)") << "a substring of a command is not a match";
  EXPECT_EQ(Take(GetSysPsIdList("nosuch")), "(null)");
  EXPECT_EQ(Take(GetSysPsIdList("")), "(null)");
  EXPECT_EQ(Take(GetSysPsIdList(nullptr)), "(null)");
  EXPECT_EQ(ReadFile("ps.args").substr(0, 3), "-e\n");
}

TEST_F(QueriesTest, PsIdListStaysWithinLine) {
  my_name = const_cast<char *>("ut_queries_psbig");
  /* 9000 processes with 31-character identifiers: more than Line can hold. */
  WriteCommand("ps",
               "echo '  PID TTY TIME CMD'\n"
               "awk 'BEGIN { for (i = 0; i < 9000; i++) printf \"%031d ? 00:00:00 many\\n\", i }'");

  std::string list = Take(GetSysPsIdList("many"));
  ASSERT_NE(list, "(null)");
  EXPECT_LT(list.size(), static_cast<size_t>(LINE_SIZE));
  EXPECT_GT(list.size(), static_cast<size_t>(LINE_SIZE) - 64) << "Line is used nearly in full";
  ASSERT_EQ(list.front(), ' ');
  ASSERT_EQ(list.back(), ' ');
  /* Only whole identifiers, in order. */
  ASSERT_EQ((list.size() - 1) % 32, 0u);
  size_t count = (list.size() - 1) / 32;
  for (size_t i = 0; i < count; ++i) {
    char want[40];
    snprintf(want, sizeof want, "%031zu ", i);
    ASSERT_EQ(list.substr(1 + 32 * i, 32), want) << "identifier " << i;
  }
}

TEST_F(QueriesTest, CheckProcTableReportsRunningPrograms) {
  my_name = const_cast<char *>("ut_queries_proctable");
  std::string ps = kPs;
  for (int i = 0; i < 200; ++i) ps += "  " + std::to_string(100000 + i) + " ? 00:00:00 many\n";
  FakeOutput("ps", ps);

  EXPECT_EQ(Take(CheckProcTableForExecs("cupsd,lpd")), "cupsd ( 412 )\n");
  EXPECT_EQ(Take(CheckProcTableForExecs("cupsd,lpsched")), "cupsd ( 412 )\nlpsched ( 501 503 )\n");
  EXPECT_EQ(Take(CheckProcTableForExecs("lpd,nosuch")), "(null)");
  EXPECT_EQ(Take(CheckProcTableForExecs(",,lpsched2,")), "lpsched2 ( 500 )\n");
  EXPECT_EQ(Take(CheckProcTableForExecs(nullptr)), "(null)");

  /* A name the 511-character limit would cut ("cu" of "cupsd") is not used. */
  EXPECT_EQ(Take(CheckProcTableForExecs((std::string(508, 'x') + ",cupsd").c_str())), "(null)");
  /* A name that ends exactly at the limit is whole. */
  EXPECT_EQ(Take(CheckProcTableForExecs((std::string(505, 'x') + ",cupsd").c_str())),
            "cupsd ( 412 )\n");

  /* The line of "many" (about 1400 characters) cannot fit the report: it is left out, the
   * others still come, and a running program alone still gives a (shorter) report. */
  EXPECT_EQ(Take(CheckProcTableForExecs("many,cupsd")), "cupsd ( 412 )\n");
  EXPECT_EQ(Take(CheckProcTableForExecs("many")), "");
}

TEST_F(QueriesTest, KillProcessByNameKillsARealProcess) {
  my_name = const_cast<char *>("ut_queries_kill");
  /* A copy of sleep under a name nothing else has (short enough for ps's 15 columns). */
  std::string name = "uts_" + std::to_string(getpid());
  std::string path = dir_ + "/" + name;
  {
    std::ifstream in("/bin/sleep", std::ios::binary);
    ASSERT_TRUE(in.good());
    std::ofstream out(path, std::ios::binary);
    out << in.rdbuf();
  }
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl(path.c_str(), name.c_str(), "30", static_cast<char *>(nullptr));
    _exit(127);
  }

  /* Wait until ps shows it under its new name. */
  std::string want = " " + std::to_string(child) + " ";
  std::string seen;
  for (int i = 0; i < 50 && seen != want; ++i) {
    seen = Take(GetSysPsIdList(name.c_str()));
    if (seen != want) usleep(100000);
  }
  ASSERT_EQ(seen, want);

  double start = Seconds();
  EXPECT_EQ(KillProcessByName(name.c_str()), 0);
  EXPECT_GE(Seconds() - start, 0.99);

  EXPECT_EQ(EndSignal(child), SIGKILL);
  EXPECT_EQ(Take(GetSysPsIdList(name.c_str())), "(null)");

  /* Nothing to kill: still a pause of one second. */
  start = Seconds();
  EXPECT_EQ(KillProcessByName(name.c_str()), 0);
  EXPECT_GE(Seconds() - start, 0.99);
}

TEST_F(QueriesTest, KillProcessByNameSkipsWhatIsNotAProcessIdentifier) {
  my_name = const_cast<char *>("ut_queries_killfake");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sleep(30);
    _exit(0);
  }
  /* A fake ps lists a non-numeric identifier before the real child. */
  FakeOutput("ps", "  PID TTY TIME CMD\n  abc ? 00:00:00 utk\n  12x ? 00:00:00 utk\n  " +
                       std::to_string(child) + " ? 00:00:00 utk\n");
  EXPECT_EQ(KillProcessByName("utk"), 0);
  EXPECT_EQ(EndSignal(child), SIGKILL);
}

TEST_F(QueriesTest, GetDiskSpaceFindsTheAvailColumn) {
  my_name = const_cast<char *>("ut_queries_df");
  DiskSpace space;

  /* POSIX format. */
  const char *data = "/dev/sda1 1000 500 400 55% /\n";
  FakeOutput("df",
             std::string("Filesystem 1024-blocks Used Available Capacity Mounted on\n") + data);
  EXPECT_EQ(GetDiskSpace("/opt", &space), 1);
  EXPECT_EQ(space.avail, 400);
  EXPECT_STREQ(space.text, data);
  EXPECT_EQ(ReadFile("df.args").substr(ReadFile("df.args").rfind("/opt")), "/opt\n");

  /* Solaris format and other spellings. */
  FakeOutput("df", "Filesystem avail\n/dev/dsk/c0t0d0s0 12345\n");
  EXPECT_EQ(GetDiskSpace("/opt", &space), 1);
  EXPECT_EQ(space.avail, 12345);
  FakeOutput("df", "Filesystem Size Used AVAIL Use%\n/dev/x 9 8 7.5 1%\n");
  EXPECT_EQ(GetDiskSpace("/opt", &space), 1);
  EXPECT_EQ(space.avail, 7.5);

  /* Header only: an answer with nothing available. */
  FakeOutput("df", "Filesystem 1024-blocks Used Available Capacity Mounted on\n");
  space.avail = 99;
  EXPECT_EQ(GetDiskSpace("/opt", &space), 1);
  EXPECT_EQ(space.avail, 0);

  /* No column, a short data line, a four-letter "avai", no output at all. */
  FakeOutput("df", "Filesystem Size Used\n/dev/x 1 2\n");
  space.avail = 99;
  EXPECT_EQ(GetDiskSpace("/opt", &space), 0);
  EXPECT_EQ(space.avail, 0);
  FakeOutput("df", "Filesystem 1024-blocks Used Available\n/dev/x 100\n");
  EXPECT_EQ(GetDiskSpace("/opt", &space), 0);
  EXPECT_EQ(space.avail, 0);
  FakeOutput("df", "Filesystem avai\n/dev/x 100\n");
  EXPECT_EQ(GetDiskSpace("/opt", &space), 0);
  FakeOutput("df", "");
  space.avail = 99;
  EXPECT_EQ(GetDiskSpace("/opt", &space), 0);
  EXPECT_EQ(space.avail, 0);
  EXPECT_EQ(GetDiskSpace("/opt", nullptr), 0);

  /* A data line longer than the record's text: the text is cut, the value still read. */
  std::string longName(600, 'd');
  FakeOutput("df", "Filesystem 1024-blocks Used Available\n/" + longName + " 10 5 321\n");
  EXPECT_EQ(GetDiskSpace("/opt", &space), 1);
  EXPECT_EQ(space.avail, 321);
  EXPECT_EQ(strlen(space.text), sizeof space.text - 1);

  /* The path reaches df as one argument, whatever it holds. */
  FakeOutput("df", "Filesystem avail\n");
  EXPECT_EQ(GetDiskSpace("/tmp/a b'c;touch x", &space), 1);
  std::string args = ReadFile("df.args");
  EXPECT_EQ(args.substr(args.size() - strlen("/tmp/a b'c;touch x\n")), "/tmp/a b'c;touch x\n");
}

#ifdef __linux__
TEST_F(QueriesTest, GetDiskSpaceWithTheHostDf) {
  my_name = const_cast<char *>("ut_queries_realdf");
  DiskSpace space;
  ASSERT_EQ(GetDiskSpace("/", &space), 1);
  EXPECT_GT(space.avail, 0);
  EXPECT_NE(strchr(space.text, '/'), nullptr);
}
#endif

TEST_F(QueriesTest, DUPathReadsTheFirstNumber) {
  my_name = const_cast<char *>("ut_queries_du");
  FakeOutput("du", "1234\t/some/dir\n99\tother\n");
  EXPECT_EQ(DUPath("/some/dir"), 1234);
  EXPECT_EQ(ReadFile("du.args"), "-s\n/some/dir\n");

  FakeOutput("du", "");
  EXPECT_EQ(DUPath("/some/dir"), 0);
  WriteCommand("du", "echo 'du: cannot access' >&2");
  EXPECT_EQ(DUPath("/missing"), 0);
}

TEST_F(QueriesTest, AvailSpaceWalksUpToAnExistingDirectory) {
  my_name = const_cast<char *>("ut_queries_avail");
  std::string base = dir_ + "/base";
  ASSERT_EQ(mkdir(base.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((base + "/app").c_str(), 0755), 0);
  /* df answers 1000 for existing directories and prints nothing for missing ones. */
  WriteCommand("df",
               "for a; do p=$a; done\n"
               "echo \"$p\" >> '" +
                   dir_ +
                   "/df.paths'\n"
                   "[ -d \"$p\" ] || exit 1\n"
                   "echo 'Filesystem 1024-blocks Used Available Capacity Mounted on'\n"
                   "echo '/dev/x 5000 4000 1000 80% /'");
  WriteCommand("du", "for a; do p=$a; done\necho \"300	$p\"");

  /* Longer than StripFn's 256-byte buffer: still walks up to base. */
  std::string longMissing = base + "/" + std::string(240, 'm') + "/" + std::string(240, 'n');
  EXPECT_EQ(AvailSpace(longMissing.c_str(), nullptr, 1000), 1);
  EXPECT_EQ(ReadFile("df.paths"),
            longMissing + "\n" + base + "/" + std::string(240, 'm') + "\n" + base + "\n");
  WriteFile("df.paths", "");

  std::string missing = base + "/missing/deeper";
  EXPECT_EQ(AvailSpace(missing.c_str(), nullptr, 1000), 1);
  EXPECT_EQ(ReadFile("df.paths"), missing + "\n" + base + "/missing\n" + base + "\n");
  EXPECT_EQ(AvailSpace(missing.c_str(), nullptr, 1001), 0);

  /* An existing dir/name counts as free. */
  EXPECT_EQ(AvailSpace(base.c_str(), "app", 1300), 1);
  EXPECT_EQ(AvailSpace(base.c_str(), "app", 1301), 0);
  EXPECT_EQ(AvailSpace(base.c_str(), "nosuch", 1300), 0);
  EXPECT_EQ(AvailSpace(base.c_str(), nullptr, 1000), 1);
  EXPECT_EQ(AvailSpace(nullptr, nullptr, 0), 0);
}

TEST_F(QueriesTest, AvailSpaceWalkEndsAtTheTop) {
  my_name = const_cast<char *>("ut_queries_availtop");
  WriteCommand("df", "for a; do p=$a; done\necho \"$p\" >> '" + dir_ + "/df.paths'");

  std::string top = "/ut_nosuch_" + std::to_string(getpid());
  EXPECT_EQ(AvailSpace((top + "/a/b").c_str(), nullptr, 0), 0);
  EXPECT_EQ(ReadFile("df.paths"), top + "/a/b\n" + top + "/a\n" + top + "\n/\n");

  WriteFile("df.paths", "");
  EXPECT_EQ(AvailSpace("ut_rel_a/b", nullptr, 0), 0);
  EXPECT_EQ(ReadFile("df.paths"), "ut_rel_a/b\nut_rel_a\n.\n");
}

TEST_F(QueriesTest, GetSysPkgListMatchesAnywhereOnTheLine) {
  my_name = const_cast<char *>("ut_queries_pkg");
  FakeOutput("pkginfo",
             "application TLVNvpxx       Orvel printing services\n"
             "system      SUNWcsr        Core Solaris, (Root)\n"
             "application SUNWabc        Helper for TLVN printers\n"
             "application OTHERpkg       Something else\n");
  EXPECT_EQ(Take(GetSysPkgList("TLVN")), " TLVNvpxx SUNWabc ");
  EXPECT_EQ(Take(GetSysPkgList("SUNWcsr")), " SUNWcsr ");
  EXPECT_EQ(Take(GetSysPkgList("nomatch")), "(null)");
  EXPECT_EQ(Take(GetSysPkgList(nullptr)), " TLVNvpxx SUNWcsr SUNWabc OTHERpkg ");
  EXPECT_EQ(ReadFile("pkginfo.args"), "");

  EXPECT_EQ(SysGetSubnetMask(7), 7);
  EXPECT_EQ(SysGetSubnetMask(-1), -1);
}

TEST_F(QueriesTest, UnresolvableQueryCommandEndsTheRunWithStatusZero) {
  my_name = const_cast<char *>("ut_queries_unresolved");
  flInitSysCmd = 0; /* the table is fixed and ps was never found */
  EXPECT_EXIT(GetSysPsIdList("cupsd"), ::testing::ExitedWithCode(0),
              "ERROR: unable to locate system command 'ps'\n");
  DiskSpace space;
  EXPECT_EXIT(GetDiskSpace("/", &space), ::testing::ExitedWithCode(0),
              "ERROR: unable to locate system command 'df'\n");
}

}  // namespace
