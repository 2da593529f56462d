/* Tests of the file helpers: whole-file reads, the line reader, the open functions, the
 * existence/size/time tests, filtered listings, FindExistingPath, removal and renaming. */
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

std::string ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

bool Exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

int OpenDescriptors() {
  int n = 0;
  DIR *d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (readdir(d)) ++n;
  closedir(d);
  return n;
}

/* Creates, under base, a file whose path is exactly limit - 1 characters long; returns that
 * path. Asking for the same path plus more characters must never open it: that would be the
 * longer path cut to the buffer. */
std::string MakeCutTrap(const std::string &base, size_t limit) {
  mkdir(base.c_str(), 0755);
  std::string dir = base;
  while (limit - 1 - dir.size() - 1 > 200) {
    dir += "/" + std::string(150, 'd');
    mkdir(dir.c_str(), 0755);
  }
  std::string file = dir + "/" + std::string(limit - 1 - dir.size() - 1, 'f');
  WriteAll(file, "trap\n");
  EXPECT_EQ(file.size(), limit - 1);
  return file;
}

std::string DirOf(const std::string &path) { return path.substr(0, path.rfind('/')); }
std::string NameOf(const std::string &path) { return path.substr(path.rfind('/') + 1); }

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = std::string("ut_files_") + info->name();
    my_name = const_cast<char *>(name_.c_str());
    char tmpl[] = "/tmp/ut_files_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    CloseInputFile(0);
    std::filesystem::remove_all(dir_);
  }
  std::string Path(const std::string &name) const { return dir_ + "/" + name; }

  std::string name_;
  std::string dir_;
};

TEST_F(FilesTest, GetFileContentReadsAtMost4095BytesIntoLineBuf) {
  std::string big;
  for (int i = 0; i < 10000; ++i) big += static_cast<char>('a' + i % 26);
  WriteAll(Path("big"), big);
  ASSERT_EQ(GetFileContent(dir_.c_str(), "big"), 1);
  EXPECT_EQ(std::string(LineBuf), big.substr(0, 4095));

  WriteAll(Path("small"), "1000\n");
  EXPECT_EQ(GetFileContent(Path("small").c_str(), nullptr), 1);
  EXPECT_STREQ(LineBuf, "1000\n");

  /* A missing file leaves the joined path in LineBuf. */
  EXPECT_EQ(GetFileContent(dir_.c_str(), "missing"), 0);
  EXPECT_EQ(std::string(LineBuf), Path("missing"));
  EXPECT_EQ(GetFileContent(Path("missing").c_str(), nullptr), 0);
  EXPECT_EQ(GetFileContent(nullptr, nullptr), 0);

  /* LineBuf as the directory argument: the joined path is built before LineBuf is reused. */
  snprintf(LineBuf, LINEBUF_SIZE, "%s", dir_.c_str());
  EXPECT_EQ(GetFileContent(LineBuf, "small"), 1);
  EXPECT_STREQ(LineBuf, "1000\n");

  /* A directory opens but cannot be read: failure, not stale text. */
  EXPECT_EQ(GetFileContent(dir_.c_str(), nullptr), 0);
  EXPECT_STREQ(LineBuf, "");
}

TEST_F(FilesTest, GetFileContentNeverOpensACutPath) {
  const std::string trap = MakeCutTrap(dir_, LINEBUF_SIZE);
  EXPECT_EQ(GetFileContent(DirOf(trap).c_str(), NameOf(trap).c_str()), 1);
  EXPECT_STREQ(LineBuf, "trap\n");
  EXPECT_EQ(GetFileContent(DirOf(trap).c_str(), (NameOf(trap) + "ff").c_str()), 0);
  EXPECT_STREQ(LineBuf, "");
}

TEST_F(FilesTest, GetFileContentRReadsAtMostSizeBytes) {
  WriteAll(Path("f"), "abcdefgh");
  char buf[6];
  memset(buf, 'X', sizeof buf);
  ASSERT_EQ(GetFileContentR(dir_.c_str(), "f", buf, 5), 1);
  EXPECT_STREQ(buf, "abcde");
  ASSERT_EQ(GetFileContentR(Path("f").c_str(), nullptr, buf, 5), 1);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(GetFileContentR(dir_.c_str(), "missing", buf, 5), 0);

  const std::string trap = MakeCutTrap(dir_, 256);
  char small[16];
  EXPECT_EQ(GetFileContentR(DirOf(trap).c_str(), NameOf(trap).c_str(), small, 15), 1);
  EXPECT_STREQ(small, "trap\n");
  EXPECT_EQ(GetFileContentR(DirOf(trap).c_str(), (NameOf(trap) + "f").c_str(), small, 15), 0);
}

TEST_F(FilesTest, GetSavedFileContentReturnsTheWholeFile) {
  WriteAll(Path("empty"), "");
  SavedFileSize = 99;
  EXPECT_EQ(GetSavedFileContent(dir_.c_str(), "empty"), nullptr);
  EXPECT_EQ(SavedFileSize, 0);

  SavedFileSize = 99;
  EXPECT_EQ(GetSavedFileContent(dir_.c_str(), "missing"), nullptr);
  EXPECT_EQ(SavedFileSize, 0);

  WriteAll(Path("one"), "x");
  char *one = GetSavedFileContent(dir_.c_str(), "one");
  ASSERT_NE(one, nullptr);
  EXPECT_STREQ(one, "x");
  EXPECT_EQ(SavedFileSize, 1);
  PutMem(one);

  std::string text(70000, 'q');
  text += "end";
  WriteAll(Path("long"), text);
  char *all = GetSavedFileContent(Path("long").c_str(), nullptr);
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(std::string(all), text);
  EXPECT_EQ(SavedFileSize, 70003);
  PutMem(all);

  /* A directory has a size but no content to read. */
  EXPECT_EQ(GetSavedFileContent(dir_.c_str(), nullptr), nullptr);
  EXPECT_EQ(SavedFileSize, 0);

  const std::string trap = MakeCutTrap(dir_, 256);
  char *got = GetSavedFileContent(DirOf(trap).c_str(), NameOf(trap).c_str());
  ASSERT_NE(got, nullptr);
  PutMem(got);
  EXPECT_EQ(GetSavedFileContent(DirOf(trap).c_str(), (NameOf(trap) + "f").c_str()), nullptr);
  EXPECT_EQ(SavedFileSize, 0);
}

TEST_F(FilesTest, GetFileLineJoinsContinuedLines) {
  WriteAll(Path("cont"), "a \\\nb\nlast\n");
  ASSERT_EQ(OpenInputFile(Path("cont").c_str(), REPORT_SILENT), 1);
  EXPECT_EQ(FileStatus, 0);
  EXPECT_EQ(std::string(InputFileName), Path("cont"));
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "a \\\nb\n");
  EXPECT_EQ(LineLen, 4);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "last\n");
  EXPECT_EQ(LineLen, 0);
  EXPECT_EQ(GetFileLine(), 0);
  EXPECT_EQ(pIn, nullptr);
  EXPECT_EQ(FileStatus, 1);
  EXPECT_EQ(GetFileLine(), 0);

  /* Only the first piece is limited to 510 characters; a continued line may be longer. The
   * rest of a longer first line is skipped, never read as a line of its own (with its
   * continuation); a line of exactly 510 characters is whole, NUL bytes count. */
  std::string longLine(600, 'x');
  std::string tail(1000, 'b');
  std::string exact = std::string(300, 'e') + '\0' + std::string(209, 'e');
  WriteAll(Path("long"), longLine + "\n" + std::string(520, 'y') + "\\\nhidden\n" + exact + "\n" +
                             "a\\\n" + tail + "\n" + "end \\\n");
  ASSERT_EQ(OpenInputFile(Path("long").c_str(), REPORT_SILENT), 1);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_EQ(std::string(LineBuf), std::string(510, 'x'));
  EXPECT_EQ(LineCut, 1);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_EQ(std::string(LineBuf), std::string(510, 'y'));
  EXPECT_EQ(LineCut, 1);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_EQ(std::string(LineBuf, 511), exact + "\n");
  EXPECT_EQ(LineCut, 0);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_EQ(std::string(LineBuf), "a\\\n" + tail + "\n");
  EXPECT_EQ(LineLen, 3);
  EXPECT_EQ(LineCut, 0);
  /* A continuation at the end of the file ends the line there. */
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "end \\\n");
  EXPECT_EQ(GetFileLine(), 0);
}

TEST_F(FilesTest, GetFileLineCutsALogicalLineThatFillsLineBuf) {
  /* Pieces that fill LineBuf exactly (4095 characters), then one more continued line. */
  std::string piece = std::string(503, 'p') + "\\\n";
  std::string exact;
  for (int i = 0; i < 8; ++i) exact += piece;
  std::string last = std::string(4095 - exact.size() - 2, 'l') + "\\\n";
  exact += last;
  ASSERT_EQ(exact.size(), 4095u);
  WriteAll(Path("exact"), exact + "more \\\n" + "still more\n" + "after\n");
  ASSERT_EQ(OpenInputFile(Path("exact").c_str(), REPORT_SILENT), 1);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_EQ(std::string(LineBuf), exact);
  EXPECT_EQ(LineLen, static_cast<int>(4095 - last.size()));
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "after\n");
  EXPECT_EQ(GetFileLine(), 0);

  /* A piece that does not fit is cut; the rest of the logical line is skipped. */
  std::string start;
  for (int i = 0; i < 8; ++i) start += piece;
  std::string over = std::string(98, 'o') + "\\\n";
  WriteAll(Path("over"), start + over + "cont\n" + "after\n");
  ASSERT_EQ(OpenInputFile(Path("over").c_str(), REPORT_SILENT), 1);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_EQ(strlen(LineBuf), 4095u);
  EXPECT_EQ(std::string(LineBuf), (start + over).substr(0, 4095));
  EXPECT_EQ(LineCut, 1);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "after\n");

  /* So is a line whose backslash takes the last place and whose newline no longer fits: the
   * line goes on, and what follows is never a line of its own. */
  std::string full = start + std::string(4095 - start.size() - 1, 'f') + "\\";
  WriteAll(Path("full"), full + "\n" + "cont\n" + "after\n");
  ASSERT_EQ(OpenInputFile(Path("full").c_str(), REPORT_SILENT), 1);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_EQ(std::string(LineBuf), full);
  EXPECT_EQ(LineCut, 1);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "after\n");
}

TEST_F(FilesTest, GetFileTextLineKeepsTheFirstWordOfTextLines) {
  WriteAll(Path("list"), "# comment\n\n \t \nfirst word here\n#x y\n\tsecond\n");
  EXPECT_EQ(GetFileTextLine(" \t\n"), 0); /* nothing open */
  ASSERT_EQ(OpenInputFile(Path("list").c_str(), REPORT_SILENT), 1);
  EXPECT_EQ(GetFileTextLine(nullptr), 0);
  ASSERT_EQ(GetFileTextLine(" \t\n"), 1);
  EXPECT_STREQ(LineBuf, "first");
  ASSERT_EQ(GetFileTextLine(" \t\n"), 1);
  EXPECT_STREQ(LineBuf, "second");
  EXPECT_EQ(GetFileTextLine(" \t\n"), 0);
  EXPECT_EQ(FileStatus, 1);
}

TEST_F(FilesTest, OpenInputFileFailureFollowsTheReportLevel) {
  WriteAll(Path("present"), "line\n");
  ASSERT_EQ(OpenInputFile(Path("present").c_str(), REPORT_SILENT), 1);
  ASSERT_NE(pIn, nullptr);

  snprintf(LineBuf, LINEBUF_SIZE, "junk");
  LineLen = 7;
  const std::string missing = Path("missing");
  testing::internal::CaptureStderr();
  EXPECT_EQ(OpenInputFile(missing.c_str(), REPORT_SILENT), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(pIn, nullptr); /* the previous file was closed */
  EXPECT_EQ(FileStatus, 2);
  EXPECT_STREQ(LineBuf, "");
  EXPECT_EQ(LineLen, 0);

  testing::internal::CaptureStderr();
  EXPECT_EQ(OpenInputFile(missing.c_str(), REPORT_WARN), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: can't open file, " + missing + "\n");
  EXPECT_EQ(FileStatus, 2);

  EXPECT_EXIT(OpenInputFile(missing.c_str(), REPORT_FATAL), ::testing::ExitedWithCode(0),
              "ERROR: can't open file, /tmp/ut_files_.*/missing");

  EXPECT_EQ(OpenInputFileF(REPORT_SILENT, "%s/%s", dir_.c_str(), "present"), 1);
  EXPECT_EQ(FileStatus, 0);
  EXPECT_EQ(CloseInputFile(7), 7);
  EXPECT_EQ(pIn, nullptr);
  EXPECT_EQ(FileStatus, 1);
}

TEST_F(FilesTest, OpenInputFileRefusesPathsLongerThanItsBuffers) {
  const std::string trap = MakeCutTrap(dir_, 256);
  ASSERT_EQ(OpenInputFile(trap.c_str(), REPORT_SILENT), 1);
  const std::string longer = trap + "f";
  testing::internal::CaptureStderr();
  EXPECT_EQ(OpenInputFile(longer.c_str(), REPORT_WARN), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: can't open file, " + longer + "\n");
  EXPECT_EQ(pIn, nullptr);
  EXPECT_EQ(FileStatus, 2);
  EXPECT_STREQ(InputFileName, "");

  const std::string trap512 = MakeCutTrap(dir_ + "/" + std::string(100, 'e'), 512);
  EXPECT_EQ(OpenInputFileF(REPORT_SILENT, "%s", (trap512 + "ff").c_str()), 0);
  EXPECT_EQ(FileStatus, 2);
}

TEST_F(FilesTest, OpenFileFailureFollowsTheReportLevel) {
  WriteAll(Path("f"), "content\n");
  const std::string missing = Path("missing");
  testing::internal::CaptureStderr();
  EXPECT_EQ(OpenFile(nullptr, missing.c_str(), "rt", REPORT_SILENT), nullptr);
  EXPECT_EQ(OpenFile(nullptr, missing.c_str(), "rt", REPORT_WARN), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: can't open file, " + missing + "\n");
  EXPECT_EXIT(OpenFile(nullptr, missing.c_str(), "rt", REPORT_FATAL), ::testing::ExitedWithCode(1),
              "ut_files_.*: can't open file, .*missing : No such file");

  /* Reopening closes the old stream. */
  int before = OpenDescriptors();
  FILE *f = OpenFile(nullptr, Path("f").c_str(), "rt", REPORT_SILENT);
  ASSERT_NE(f, nullptr);
  FILE *g = OpenFile(f, Path("f").c_str(), "rt", REPORT_SILENT);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(OpenDescriptors(), before + 1);
  FILE *h = OpenFile(g, missing.c_str(), "rt", REPORT_SILENT);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(OpenDescriptors(), before);

  FILE *w = OpenFileF(nullptr, "wt", REPORT_SILENT, "%s/%s", dir_.c_str(), "new");
  ASSERT_NE(w, nullptr);
  fputs("x", w);
  fclose(w);
  EXPECT_EQ(ReadAll(Path("new")), "x");

  const std::string trap = MakeCutTrap(dir_, 512);
  FILE *t = OpenFileF(nullptr, "rt", REPORT_SILENT, "%s", trap.c_str());
  ASSERT_NE(t, nullptr);
  fclose(t);
  EXPECT_EQ(OpenFileF(nullptr, "rt", REPORT_SILENT, "%sff", trap.c_str()), nullptr);
}

TEST_F(FilesTest, OpenRawFileAndCreateTextFile) {
  const std::string missing = Path("no/such");
  testing::internal::CaptureStdout();
  EXPECT_LT(OpenRawFile(missing.c_str(), O_RDONLY), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: can't open file, " + missing);
  int fd = OpenRawFile(Path("raw").c_str(), O_WRONLY | O_CREAT);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_TRUE(Exists(Path("raw")));

  umask(022);
  EXPECT_EQ(CreateTextFile(Path("t").c_str(), "wt", 0640, "%s %d\n", "V5", 7), 1);
  EXPECT_EQ(ReadAll(Path("t")), "V5 7\n");
  struct stat st;
  ASSERT_EQ(stat(Path("t").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(CreateTextFile(Path("t").c_str(), "at", 0, "more\n"), 1);
  EXPECT_EQ(ReadAll(Path("t")), "V5 7\nmore\n");

  testing::internal::CaptureStderr();
  EXPECT_EQ(CreateTextFile(missing.c_str(), "wt", 0644, "x"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: couldn't open " + missing + "\n");

  /* A text that cannot be written is not reported as written. */
  if (access("/dev/full", W_OK) == 0) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(CreateTextFile("/dev/full", "wt", 0, "%s", "data"), 0);
    testing::internal::GetCapturedStderr();
  }
}

TEST_F(FilesTest, FileSearchFindsTheFirstMatchingLine) {
  WriteAll(Path("s"), "alpha\nbeta gamma\ndelta gamma\n");
  char *line = FileSearch(Path("s").c_str(), "gamma", REPORT_SILENT);
  ASSERT_NE(line, nullptr);
  EXPECT_STREQ(line, "beta gamma\n");
  line = FileSearch(Path("s").c_str(), nullptr, REPORT_SILENT);
  ASSERT_NE(line, nullptr);
  EXPECT_STREQ(line, "alpha\n");
  EXPECT_EQ(FileSearch(Path("s").c_str(), "zeta", REPORT_SILENT), nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(FileSearch(Path("missing").c_str(), "a", REPORT_WARN), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: can't open file, " + Path("missing") + "\n");

  /* Lines are read in pieces of at most 510 characters. */
  WriteAll(Path("w"), std::string(600, 'w') + "\n");
  line = FileSearch(Path("w").c_str(), nullptr, REPORT_SILENT);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(strlen(line), 510u);
}

TEST_F(FilesTest, FindFileUnderscoreSizeAndTime) {
  WriteAll(Path("f"), "12345");
  EXPECT_EQ(FindFile_(dir_.c_str(), "f"), 1);
  EXPECT_EQ(FindFile_(Path("f").c_str(), nullptr), 1);
  EXPECT_EQ(FindFile_(nullptr, Path("f").c_str()), 1);
  EXPECT_EQ(FindFile_(dir_.c_str(), "g"), 0);
  EXPECT_EQ(FindFile_(nullptr, ""), 0);
  EXPECT_EQ(FindFile_(nullptr, nullptr), 0);
  /* Existence by stat: a dangling link does not exist. */
  ASSERT_EQ(symlink(Path("nowhere").c_str(), Path("dangling").c_str()), 0);
  EXPECT_EQ(FindFile_(dir_.c_str(), "dangling"), 0);

  const std::string trap = MakeCutTrap(dir_, 256);
  EXPECT_EQ(FindFile_(DirOf(trap).c_str(), NameOf(trap).c_str()), 1);
  EXPECT_EQ(FindFile_(DirOf(trap).c_str(), (NameOf(trap) + "f").c_str()), 0);

  EXPECT_EQ(GetFileSize(Path("f").c_str()), 5);
  EXPECT_EQ(GetFileSize(Path("g").c_str()), 0);
  struct timeval times[2] = {{1000000000, 0}, {1234567890, 0}};
  ASSERT_EQ(utimes(Path("f").c_str(), times), 0);
  EXPECT_EQ(GetFileTime(Path("f").c_str()), 1234567890);
  EXPECT_EQ(GetFileTime(Path("g").c_str()), 0);
}

TEST_F(FilesTest, FindExistingPathWalksUpToAnExistingAncestor) {
  int exists = 0;
  const std::string want = dir_ + "/new/dir";
  char *found = FindExistingPath(want.c_str(), &exists);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), dir_);
  EXPECT_EQ(exists, 0);
  PutMem(found);

  found = FindExistingPath(dir_.c_str(), &exists);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), dir_);
  EXPECT_EQ(exists, 1);
  PutMem(found);

  exists = 0;
  found = FindExistingPath((dir_ + "/").c_str(), &exists);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), dir_);
  EXPECT_EQ(exists, 1);
  PutMem(found);

  /* A file counts as existing; the walk ends at "/" at the latest. */
  WriteAll(Path("file"), "");
  exists = 0;
  found = FindExistingPath(Path("file").c_str(), &exists);
  EXPECT_EQ(std::string(found), Path("file"));
  EXPECT_EQ(exists, 1);
  PutMem(found);
  exists = 0;
  found = FindExistingPath("/no_such_top_dir_ut/x/y", &exists);
  EXPECT_STREQ(found, "/");
  EXPECT_EQ(exists, 0);
  PutMem(found);

  /* Relative paths end at "." at the latest. */
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  mkdir("sub", 0755);
  found = FindExistingPath("sub/a/b", &exists);
  EXPECT_STREQ(found, "sub");
  PutMem(found);
  found = FindExistingPath("none/a", &exists);
  EXPECT_STREQ(found, ".");
  PutMem(found);
  ASSERT_EQ(chdir(cwd), 0);

  /* A path longer than 4095 characters is refused, never walked cut. */
  std::string huge = "/" + std::string(4200, 'h');
  exists = 0;
  EXPECT_EQ(FindExistingPath(huge.c_str(), &exists), nullptr);
  EXPECT_EQ(exists, 0);
  EXPECT_EQ(FindExistingPath(nullptr, &exists), nullptr);
}

TEST_F(FilesTest, SearchDirFileListKeepsNamesWithTheExtension) {
  for (const char *n : {"a.cfg", "b.x.cfg", "cfg", "a.cfgx", "c.txt"}) WriteAll(Path(n), "");
  char *list = SearchDirFileList(dir_.c_str(), "cfg");
  ASSERT_NE(list, nullptr);
  std::string s(list);
  EXPECT_EQ(s.front(), ' ');
  EXPECT_EQ(s.back(), ' ');
  EXPECT_NE(FindToken("a.cfg", list), 0u);
  EXPECT_NE(FindToken("b.x.cfg", list), 0u);
  EXPECT_EQ(FindToken("cfg", list), 0u);
  EXPECT_EQ(FindToken("a.cfgx", list), 0u);
  EXPECT_EQ(GetTokenCount(list, " "), 2);
  PutMem(list);

  EXPECT_EQ(SearchDirFileList(dir_.c_str(), "zzz"), nullptr);
  EXPECT_EQ(SearchDirFileList(Path("missing").c_str(), "cfg"), nullptr);

  list = SearchDirFileList(dir_.c_str(), nullptr);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(GetTokenCount(list, " "), 5);
  EXPECT_EQ(FindToken(".", list), 0u);
  EXPECT_EQ(FindToken("..", list), 0u);
  EXPECT_NE(FindToken("c.txt", list), 0u);
  PutMem(list);

  std::filesystem::create_directory(Path("empty"));
  EXPECT_EQ(SearchDirFileList(Path("empty").c_str(), nullptr), nullptr);
}

/* Fake rm and mv that record their arguments and then do the work; the command table is
 * pointed at their directory alone. */
class FilesCommandTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    bin_ = Path("bin");
    calls_ = Path("calls");
    std::filesystem::create_directory(bin_);
    ASSERT_EQ(symlink("/bin/sh", (bin_ + "/sh").c_str()), 0);
    for (const char *cmd : {"rm", "mv"}) {
      const std::string script = bin_ + "/" + cmd;
      WriteAll(script, std::string("#!/bin/sh\necho \"") + cmd + " $*\" >> " + calls_ +
                           "\nexec /bin/" + cmd + " \"$@\"\n");
      chmod(script.c_str(), 0755);
    }
    const char *path = getenv("PATH");
    savedPath_ = path ? path : "";
    setenv("PATH", "", 1);
    snprintf(search_, sizeof search_, "%s", bin_.c_str());
    savedSearch_ = SearchPaths;
    UseSearchPaths(search_);
    flUseLog = 0;
  }
  void TearDown() override {
    UseSearchPaths(savedSearch_);
    setenv("PATH", savedPath_.c_str(), 1);
    FilesTest::TearDown();
  }
  /* Forgets earlier resolutions so that the next lookups use list. */
  static void UseSearchPaths(char *list) {
    for (int i = 2; i <= CMD_LAST; ++i) ComList[i].dir = nullptr;
    PutMem(FullSearchPath);
    FullSearchPath = nullptr;
    SearchPaths = list;
    flInitSysCmd = 1;
  }
  std::string Calls() const { return ReadAll(calls_); }

  std::string bin_, calls_, savedPath_;
  char search_[512];
  char *savedSearch_ = nullptr;
};

TEST_F(FilesCommandTest, DeleteFileUnderscoreRemovesWhatExists) {
  std::filesystem::create_directories(Path("tree/sub"));
  WriteAll(Path("tree/sub/f"), "x");
  WriteAll(Path("single"), "x");

  EXPECT_EQ(std::string(DeleteFile_(dir_.c_str(), "tree")), dir_);
  EXPECT_FALSE(Exists(Path("tree")));
  EXPECT_EQ(Calls(), "rm -rf " + Path("tree") + "\n");

  const std::string single = Path("single");
  EXPECT_EQ(DeleteFile_(single.c_str(), nullptr), single.c_str());
  EXPECT_FALSE(Exists(single));
  EXPECT_EQ(Calls(), "rm -rf " + Path("tree") + "\nrm -rf " + single + "\n");

  /* Nothing runs for a path that does not exist. */
  DeleteFile_(dir_.c_str(), "missing");
  DeleteFile_(Path("missing").c_str(), nullptr);
  EXPECT_EQ(Calls(), "rm -rf " + Path("tree") + "\nrm -rf " + single + "\n");
}

TEST_F(FilesCommandTest, RenameFileMovesWithinADirectoryOrBetweenPaths) {
  WriteAll(Path("a.vdb_new"), "new");
  RenameFile(dir_.c_str(), "a.vdb_new", "a.vdb");
  EXPECT_FALSE(Exists(Path("a.vdb_new")));
  EXPECT_EQ(ReadAll(Path("a.vdb")), "new");
  EXPECT_EQ(Calls(), "mv -f " + Path("a.vdb_new") + " " + Path("a.vdb") + "\n");

  RenameFile(nullptr, Path("a.vdb").c_str(), Path("b.vdb").c_str());
  EXPECT_FALSE(Exists(Path("a.vdb")));
  EXPECT_EQ(ReadAll(Path("b.vdb")), "new");

  const std::string before = Calls();
  RenameFile(dir_.c_str(), "missing", "x");
  RenameFile(nullptr, Path("missing").c_str(), Path("x").c_str());
  EXPECT_EQ(Calls(), before);
  EXPECT_FALSE(Exists(Path("x")));
}

}  // namespace
