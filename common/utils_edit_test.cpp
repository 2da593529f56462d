/* Editing in place: the editors' results byte for byte, long lines, safe replacement, the
 * editors against sed, grep -F and tr -d on real text files of the machine, the stream pair
 * (GetLine and friends) and GenName. */
#include <glob.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "utils.h"

namespace {

std::string Read(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool Exists(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

/* A shell word that stands for text itself. */
std::string Quote(const std::string &text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class EditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    my_name = const_cast<char *>("utils_edit_test");
    /* Every edit syncs its copy: a memory file system keeps the many edits here fast. */
    dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    dir += "/utils_edit_test.XXXXXX";
    ASSERT_NE(mkdtemp(&dir[0]), nullptr);
    f = dir + "/f";
  }
  void TearDown() override {
    ReplaceInputFile(0);
    ASSERT_EQ(system(("rm -rf " + Quote(dir)).c_str()), 0);
  }
  /* GetLine's text, checked for the NUL padding up to 512 bytes. */
  static std::string Got() {
    std::string text(Line);
    for (size_t i = text.size(); i < 512; i++) {
      if (Line[i]) return "<not padded>";
    }
    return text;
  }
  std::string dir, f;
};

/* One edit of f: op picks the editor, a and b are its texts, n its count. */
struct Edit {
  char op;
  const char *a = nullptr, *b = nullptr;
  int n = 0;
};

void Apply(const Edit &e, const char *f) {
  if (e.op == 'C') FileChange(f, "", e.a, e.b);
  if (e.op == 'c') FileChangeChar(f, "", e.a, e.b);
  if (e.op == 'd') FileDel(f, "", e.n, e.a);
  if (e.op == 'f') FileDelFormat(f, "", e.a, e.b);
  if (e.op == 'i') FileInsert(f, "", e.a);
  if (e.op == 's') FileSearchInsert(f, "", e.a, e.b);
  if (e.op == 'l') FileDelLine(f, "", e.n, e.a);
  if (e.op == 'p') FileDelLinePair(f, "", e.n, e.a, e.b);
}

TEST_F(EditTest, EveryEditorGivesTheExpectedBytes) {
  const struct {
    Edit edit;
    std::string in, out;
  } cases[] = {
      {{'C', "ab", "X"}, "ab ab\nno\r\nlast ab", "X ab\nno\r\nlast X"},
      {{'C', nullptr, "X"}, "a\n", "a\n"},
      {{'C', "", nullptr}, "a\n", "a\n"},
      {{'C', "a", nullptr}, "bab\n", "bb\n"},
      {{'c', "13", nullptr}, "a\r\nb\r\n", "a\nb\n"},
      {{'c', "0x2c", "59, 32"}, "a,b,\n", "a; b; \n"},
      {{'c', "08", "45"}, std::string("a\0b\n", 4), "a-b\n"}, /* "08" reads as 0 */
      {{'c', "300", "66"}, "a,b\n", "a,b\n"},                 /* names no byte */
      {{'c', "97", "66,0,67"}, "ab\n", "Bb\n"},
      {{'c', "97", "66,300,67"}, "ab\n", "Bb\n"},
      {{'d', "x", nullptr, 1}, "ax x\nbx x\nc\ndx\n", "ax x\nb x\nc\nd\n"},
      {{'f', "", "=v"}, "k=v=v\nz\n", "k=v\nz\n"},
      {{'f', "a", "key="}, "key=value\r\nother\nkey=x", "key=\nother\nkey=\n"},
      {{'f', "b", "key="}, "# key=v\nx\n", "key=v\nx\n"},
      {{'f', "c", "0x41"}, "AbA\nA\n", "b\n\n"},
      {{'f', "l", "x"}, "x\na\nbx", "a\n"},
      {{'i', "line %#2\n"},
       "a\nb\nc\nd\ne\n",
       "a\nb\nline 00000\nc\nline 00001\nd\nline 00002\ne\n"},
      {{'i', "%s3 100% %#1:"}, "a\nb\n", " 100% 00002:a\n 100% 00003:b\n"},
      {{'i', "> "}, "a\nb", "> a\n> b"},
      {{'i', nullptr}, "a\n", "a\n"},
      {{'s', "#%#0 ", "x"}, "x\na\nx\nb\nx\n", "#00000 x\na\n#00001 x\nb\n#00002 x\n"},
      {{'l', "x"}, "x\na\nbx\nc", "a\nc"},
      {{'l', "x", nullptr, 1}, "x\na\nbx\n", "x\na\n"},
      {{'l', nullptr}, "x\n", "x\n"},
      {{'p', "BEGIN", "END"}, "END\nBEGIN\na\nEND\nb\n", "END\na\nb\n"},
      {{'p', "BEGIN", "END", 1},
       "BEGIN\nEND\nBEGIN\nBEGIN\nx\nEND\nEND\nEND\n",
       "BEGIN\nEND\nx\nEND\n"},
  };
  for (const auto &c : cases) {
    Write(f, c.in);
    Apply(c.edit, f.c_str());
    EXPECT_EQ(Read(f), c.out) << c.edit.op << " " << (c.edit.a ? c.edit.a : "null");
    EXPECT_FALSE(Exists(f + ".out"));
  }
  Write(dir + "/g.cfg", "a=1\n");
  EXPECT_STREQ(FileChange((dir + "/g").c_str(), "cfg", "1", "2"), (dir + "/g").c_str());
  EXPECT_EQ(Read(dir + "/g.cfg"), "a=2\n");
  EXPECT_FALSE(Exists(dir + "/g.cfgout"));
}

TEST_F(EditTest, LongLinesAreEachOneLine) {
  for (size_t len : {600u, 5000u, 100000u}) {
    const std::string lead(len - 50, 'x'), tail(47, 'y');
    const std::string line = lead + "PAT" + tail + "\n";
    Write(f, "a\n" + line + "b\n" + lead + "\n");
    FileDelLine(f.c_str(), "", 0, "PAT");
    EXPECT_EQ(Read(f), "a\nb\n" + lead + "\n") << len;
    Write(f, line + line);
    FileChange(f.c_str(), "", "PAT", "R");
    EXPECT_EQ(Read(f), lead + "R" + tail + "\n" + lead + "R" + tail + "\n") << len;
    Write(f, line + "c");
    FileDelFormat(f.c_str(), "", "a", "PAT");
    EXPECT_EQ(Read(f), lead + "PAT\nc") << len;
    Write(f, "x\n" + line + line);
    FileInsert(f.c_str(), "", "%#1 ");
    EXPECT_EQ(Read(f), "x\n00000 " + line + "00001 " + line) << len;
  }
}

TEST_F(EditTest, ReplacesSafely) {
  /* Modes, owner and group are kept, set-id bits included. */
  for (mode_t mode : {0755, 0600, 04755}) {
    Write(f, "a\n");
    const bool root = geteuid() == 0;
    if (root) {
      ASSERT_EQ(chown(f.c_str(), 1234, 5678), 0);
    }
    ASSERT_EQ(chmod(f.c_str(), mode), 0); /* after chown, which clears set-id bits */
    FileChange(f.c_str(), "", "a", "b");
    struct stat st;
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    if (root) {
      EXPECT_TRUE(st.st_uid == 1234 && st.st_gid == 5678) << st.st_uid << ":" << st.st_gid;
    }
    EXPECT_EQ(Read(f), "b\n");
  }
  /* A link planted at the copy's name is removed, never followed; so is a stray copy. */
  const std::string victim = dir + "/victim";
  Write(victim, "secret\n");
  ASSERT_EQ(symlink(victim.c_str(), (f + ".out").c_str()), 0);
  FileChange(f.c_str(), "", "b", "c");
  EXPECT_EQ(Read(victim), "secret\n");
  EXPECT_EQ(Read(f), "c\n");
  Write(f + ".out", "stray");
  FileChange(f.c_str(), "", "c", "d");
  EXPECT_EQ(Read(f), "d\n");
  EXPECT_FALSE(Exists(f + ".out"));
  /* A name full of shell syntax is just a name: nothing runs. */
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const char *odd = "a b'\"$(touch pwned)`touch pwned2`;touch pwned3";
  Write(odd, "x y\n");
  FileDel(odd, "", 0, " y");
  EXPECT_EQ(Read(odd), "x\n");
  EXPECT_FALSE(Exists("pwned") || Exists("pwned2") || Exists("pwned3"));
  ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(EditTest, FilesThatCannotBeEditedEndTheProgram) {
  Write(f, "keep\n");
  EXPECT_EXIT(FileChange(dir.c_str(), "", "a", "b"), ::testing::ExitedWithCode(1),
              "\nutils_edit_test: can't open file, " + dir + " : Is a directory\n");
  EXPECT_EXIT(FileDelLine(f.c_str(), "missing", 0, "k"), ::testing::ExitedWithCode(1),
              "can't open file, " + f + ".missing : No such file or directory");
  const std::string longName = dir + "/" + std::string(125 - dir.size(), 'n');
  Write(longName, "keep\n");
  EXPECT_EXIT(FileInsert(longName.c_str(), "", "x"), ::testing::ExitedWithCode(1),
              "can't open file, " + longName + ".out : File name too long");
  EXPECT_EXIT(FileInsert(nullptr, "", "x"), ::testing::ExitedWithCode(1), "can't open file, ");
  EXPECT_EQ(Read(longName), "keep\n");
  EXPECT_FALSE(Exists(dir + ".out") || Exists(longName + ".out"));
}

TEST_F(EditTest, FileDelFormatWithAnUnknownModeTouchesNothing) {
  for (const char *content : {"", "a\nb\n"}) {
    Write(f, content);
    EXPECT_EQ(FileDelFormat(f.c_str(), "", "z", "a"), 1);
    EXPECT_EQ(Read(f), content);
    EXPECT_FALSE(Exists(f + ".out"));
  }
  EXPECT_EQ(FileDelFormat((dir + "/missing").c_str(), "", "x", "a"), 1);
  EXPECT_EQ(FileDelFormat(f.c_str(), "", "l", "a"), 0);
  EXPECT_EQ(Read(f), "b\n");
}

/* Escapes text for a basic regular expression (or, with repl, a replacement) of s/.../.../. */
std::string SedEscape(const std::string &text, bool repl) {
  const std::string special = repl ? "\\&/" : "\\/.*[]^$";
  std::string out;
  for (char c : text) {
    if (special.find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

TEST_F(EditTest, AgreesWithSedGrepAndTrOnRealFiles) {
  /* /etc/services, and every licence text joined into one file (one run of each tool). */
  std::vector<std::string> sources = {"/etc/services", dir + "/licences"};
  std::string licences;
  glob_t g;
  if (glob("/usr/share/common-licenses/*", 0, nullptr, &g) == 0) {
    for (size_t i = 0; i < g.gl_pathc; i++) licences += Read(g.gl_pathv[i]);
    globfree(&g);
  }
  Write(sources[1], licences);
  const char *patterns[] = {"the", "tcp", "/", ". ", "[", "a*", "GNU", "\\"};
  const std::string expect = dir + "/expect";
  int compared = 0;
  for (const std::string &src : sources) {
    const std::string text = Read(src);
    if (text.empty() || text.back() != '\n') continue;
    /* Each case: our editor on a copy, the tool's command on the original. */
    auto check = [&](const Edit &edit, const std::string &tool) {
      Write(f, text);
      Apply(edit, f.c_str());
      const int rc =
          system(("LC_ALL=C " + tool + " < " + Quote(src) + " > " + Quote(expect)).c_str());
      ASSERT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) <= 1) << tool; /* grep: 1 when all dropped */
      EXPECT_TRUE(Read(f) == Read(expect)) << edit.op << " " << edit.a << " on " << src;
      compared++;
    };
    const char *repl = "<&\\/>";
    for (const char *p : patterns) {
      const std::string re = SedEscape(p, false);
      check({'C', p, repl}, "sed " + Quote("s/" + re + "/" + SedEscape(repl, true) + "/"));
      check({'d', p}, "sed " + Quote("s/" + re + "//"));
      check({'l', p}, "grep -avF -e " + Quote(p));
      check({'f', "l", p}, "grep -avF -e " + Quote(p));
    }
    check({'c', "101"}, "tr -d e");
    check({'c', "0x20"}, "tr -d ' '");
    check({'c', "012"}, "tr -d '\\n'");
  }
  EXPECT_GT(compared, 0);
}

TEST_F(EditTest, GetLineRemovesCommentsWhateverTheyCross) {
  using Lines = std::vector<std::pair<std::string, int>>;
  const std::pair<const char *, Lines> cases[] = {
      {"x /* start\nend */ y\n/* a\nb\nc */ d\n", {{"x ", 1}, {"y", 1}, {"", 1}, {"d", 2}}},
      {"a /* b */ c\n// only comment\n", {{"a  c", 1}, {"", 1}}},
      {"a /* x // y */ b\n  lead // tail\r\nq\r\n", {{"a  b", 1}, {"lead ", 1}, {"q", 1}}},
      {"a /* x */ b /* y\nz */ c // d\n/* open\nno close\n", {{"a  b ", 1}, {"c ", 1}, {"", 1}}},
  };
  for (const auto &c : cases) {
    Write(f, c.first);
    OpenIOFiles(f.c_str(), "");
    for (const auto &want : c.second) {
      memset(Line, 'Z', 512);
      EXPECT_EQ(GetLine(), want.second) << c.first;
      EXPECT_EQ(LineCnt, want.second);
      EXPECT_EQ(Got(), want.first) << c.first;
      EXPECT_EQ(pLine, Line);
    }
    EXPECT_EQ(GetLine(), 0) << c.first;
  }
}

TEST_F(EditTest, RawLinesAndReadingAgainFromInPos) {
  Write(f, "one /* c\nmid\n*/ two\nthree\n");
  OpenIOFiles(f.c_str(), "");
  EXPECT_EQ(GetLine(), 1);
  EXPECT_EQ(InPos, 0);
  EXPECT_EQ(GetLine(), 2);
  const long two = InPos;
  EXPECT_EQ(two, 13); /* the line "two" comes from, after the consumed "mid" */
  EXPECT_EQ(GetLine(), 1);
  EXPECT_EQ(Got(), "three");
  EXPECT_EQ(GetLinePos(two), 1); /* the comment open there is open again */
  EXPECT_EQ(Got(), "two");
  EXPECT_EQ(GetLinePos(0), 1);
  EXPECT_EQ(Got(), "one ");
  EXPECT_EQ(GetLineN(2), 1);
  EXPECT_EQ(Got(), "three");
  EXPECT_EQ(GetLineN(3), 0);
  EXPECT_EQ(GetLineN(0), 0);
  flInputFilterState = 0;
  EXPECT_EQ(GetLinePos(9), 1);
  EXPECT_EQ(Got(), "mid\n");
  flInputFilterState = 1;
  char buf[8];
  EXPECT_STREQ(fgetsp(buf, sizeof buf, pIn, 13), "*/ two\n");
  EXPECT_EQ(fgetsp(buf, sizeof buf, nullptr, 0), nullptr);
}

TEST_F(EditTest, ThePairReplacesTheFileThroughItsCopy) {
  Write(f, "keep\ndrop\nkeep2");
  ASSERT_EQ(chmod(f.c_str(), 0640), 0);
  ASSERT_EQ(OpenInputFile(f.c_str(), 0), 1);
  EXPECT_STREQ(OpenIOFiles(f.c_str(), ""), f.c_str());
  EXPECT_EQ(FileStatus, 1); /* the reader's file was closed */
  EXPECT_EQ(Fn, f);
  EXPECT_EQ(FnOut, f + "out");
  while (GetLine()) {
    if (strcmp(Line, "drop") != 0) fprintf(pOut, "%s\n", Line);
  }
  EXPECT_EQ(ReplaceInputFile(7), 7);
  EXPECT_TRUE(pIn == nullptr && pOut == nullptr);
  EXPECT_EQ(Read(f), "keep\nkeep2\n");
  EXPECT_FALSE(Exists(f + "out"));
  struct stat st;
  ASSERT_EQ(stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReplaceInputFile(3), 3); /* no pair open: the file stays */
  EXPECT_EQ(Read(f), "keep\nkeep2\n");

  const std::string g = dir + "/g";
  Write(g + ".cfg", "x\n");
  OpenIOFiles(g.c_str(), "cfg");
  EXPECT_EQ(FnOut, g + ".cfgout");
  OpenIOFiles(f.c_str(), ""); /* the abandoned copy goes */
  EXPECT_FALSE(Exists(g + ".cfgout"));
  EXPECT_EQ(Read(g + ".cfg"), "x\n");
  ReplaceInputFile(0);
  EXPECT_EXIT(OpenIOFiles(dir.c_str(), ""), ::testing::ExitedWithCode(1),
              "can't open file, " + dir + " : Is a directory");
}

TEST(GenNameTest, BuildsCapitalisedIdentifiers) {
  const std::pair<const char *, std::string> cases[] = {
      {"print queue-2 setup", "PrintQueue2Setup"},
      {" 42abc DEF", "AbcDef"},
      {"\xe9t\xe9 x", "TX"},
      {"", ""},
      {nullptr, ""},
  };
  for (const auto &c : cases) EXPECT_EQ(GenName(c.first), c.second);
  EXPECT_EQ(GenName(std::string(300, 'a').c_str()), "A" + std::string(126, 'a'));
}

}  // namespace
