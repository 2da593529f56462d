/* Tests of path splitting, the tool directory, the environment, directory listings, file
 * tests, and CreateFile/DeleteFile through the real command runner. */
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

/* A fresh directory under /tmp, removed with everything in it at the end of the test. */
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/ut_paths_XXXXXX";
    const char *made = mkdtemp(tmpl);
    if (made != nullptr) path_ = made;
  }
  ~TempDir() {
    if (!path_.empty()) {
      std::string cmd = "rm -rf '" + path_ + "'";
      if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path_.c_str());
    }
  }
  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void Touch(const std::string &path) { std::ofstream(path.c_str()) << ""; }

std::string ReadAll(const std::string &path) {
  std::ifstream in(path.c_str());
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string Managed(char *s) {
  std::string out = s != nullptr ? s : "(null)";
  if (s != nullptr) PutMem(s);
  return out;
}

/* Logging on under a name of the test's own, with a fresh log; returns the log path. */
std::string LogTo(const char *name) {
  my_name = const_cast<char *>(name);
  flUseLog = 1;
  flSysCmdLog = 1;
  std::string log = std::string("/tmp/") + name + ".log";
  unlink(log.c_str());
  return log;
}

mode_t ModeOf(const std::string &path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

}  // namespace

TEST(StripPath, LastName) {
  EXPECT_STREQ(StripPath("/a/b/setup"), "setup");
  EXPECT_STREQ(StripPath("a/b/"), "b");
  EXPECT_STREQ(StripPath("setup"), "setup");
  EXPECT_STREQ(StripPath("//x//"), "x");
  EXPECT_STREQ(StripPath("///"), "///");
  EXPECT_STREQ(StripPath(""), "");
  EXPECT_STREQ(StripPath(nullptr), "");
}

TEST(StripPath, OverlongNamesGiveTheEmptyString) {
  std::string name127(127, 'n');
  std::string name128(128, 'n');
  std::string longDir(400, 'd');
  /* A long directory does not matter; only the name must fit. */
  EXPECT_EQ(std::string(StripPath(("/" + longDir + "/" + name127).c_str())), name127);
  EXPECT_STREQ(StripPath(("/x/" + name128).c_str()), "");
  EXPECT_STREQ(StripPath(name128.c_str()), "");
}

TEST(StripFn, DirectoryPart) {
  EXPECT_STREQ(StripFn(""), ".");
  EXPECT_STREQ(StripFn(nullptr), ".");
  EXPECT_STREQ(StripFn("setup"), ".");
  EXPECT_STREQ(StripFn("/setup"), "/");
  EXPECT_STREQ(StripFn("/a/b/setup"), "/a/b");
  EXPECT_STREQ(StripFn("a/b/"), "a/b");
  EXPECT_STREQ(StripFn("./setup"), ".");
  /* Its own result as input. */
  char *r = StripFn("/a/b/c");
  EXPECT_STREQ(StripFn(r), "/a");
}

TEST(StripFn, OverlongDirectoriesGiveTheEmptyString) {
  std::string dir255 = "/" + std::string(254, 'd');
  std::string dir256 = "/" + std::string(255, 'd');
  EXPECT_EQ(std::string(StripFn((dir255 + "/f").c_str())), dir255);
  EXPECT_STREQ(StripFn((dir256 + "/f").c_str()), "");
}

TEST(GetToolPath, AbsoluteAndRelativeProgramNames) {
  TempDir tmp;
  ASSERT_FALSE(tmp.path().empty());
  std::string work = tmp / "w";
  ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((work + "/x").c_str(), 0755), 0);
  std::string start = work + "/x";
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(start.c_str()), 0);
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr); /* /tmp may itself be a link */
  std::string cwd = here;
  std::string parent = cwd.substr(0, cwd.rfind('/'));
  std::string grand = parent.substr(0, parent.rfind('/'));

  EXPECT_EQ(Managed(GetToolPath("/opt/media/setup")), "/opt/media");
  EXPECT_EQ(Managed(GetToolPath("/setup")), "/");
  EXPECT_EQ(Managed(GetToolPath("setup")), cwd + "/.");
  EXPECT_EQ(Managed(GetToolPath("bin/setup")), cwd + "/bin");
  EXPECT_EQ(Managed(GetToolPath("./bin/setup")), cwd + "/bin");
  EXPECT_EQ(Managed(GetToolPath(".//setup")), cwd);
  EXPECT_EQ(Managed(GetToolPath("../setup")), cwd + "/..");
  EXPECT_EQ(Managed(GetToolPath("../../bin/setup")), grand + "/bin");
  EXPECT_EQ(Managed(GetToolPath("../../setup")), parent + "/..");
  /* A trailing "../" climbs as well. */
  EXPECT_EQ(Managed(GetToolPath("..//setup")), parent);
  EXPECT_EQ(Managed(GetToolPath("../..//setup")), grand);
  EXPECT_EQ(GetToolPath(nullptr), nullptr);

  /* Long names are never cut. */
  std::string deep = "/" + std::string(200, 'a') + "/" + std::string(200, 'b');
  EXPECT_EQ(Managed(GetToolPath((deep + "/setup").c_str())), deep);
  std::string rel = std::string(200, 'r') + "/" + std::string(200, 's');
  EXPECT_EQ(Managed(GetToolPath((rel + "/setup").c_str())), cwd + "/" + rel);

  ASSERT_EQ(chdir(old), 0);
}

TEST(GetEnv, ManagedCopyOrNull) {
  setenv("UT_PATHS_VAR", " spaced value ", 1);
  char *v = GetEnv("UT_PATHS_VAR");
  ASSERT_NE(v, nullptr);
  EXPECT_STREQ(v, " spaced value ");
  EXPECT_NE(v, getenv("UT_PATHS_VAR"));
  PutMem(v);
  setenv("UT_PATHS_VAR", "", 1);
  EXPECT_EQ(Managed(GetEnv("UT_PATHS_VAR")), "");
  unsetenv("UT_PATHS_VAR");
  EXPECT_EQ(GetEnv("UT_PATHS_VAR"), nullptr);
  EXPECT_EQ(GetEnv(nullptr), nullptr);
}

TEST(GetDirFileList, BlankDelimitedListing) {
  TempDir tmp;
  Touch(tmp / "alpha");
  Touch(tmp / "beta");
  ASSERT_EQ(mkdir((tmp / "gamma").c_str(), 0755), 0);
  std::string list = Managed(GetDirFileList(tmp.path().c_str()));
  EXPECT_EQ(list.front(), ' ');
  EXPECT_EQ(list.back(), ' ');
  EXPECT_EQ(list.size(), std::string(" . .. alpha beta gamma ").size());
  for (const char *name : {" . ", " .. ", " alpha ", " beta ", " gamma "})
    EXPECT_NE(list.find(name), std::string::npos) << name;
  EXPECT_EQ(list.find("  "), std::string::npos);
  EXPECT_NE(FindToken("beta", list.c_str()), 0u);

  /* ReadDir gives the same names, then null. */
  DIR *d = opendir(tmp.path().c_str());
  ASSERT_NE(d, nullptr);
  int n = 0;
  for (char *name = ReadDir(d); name != nullptr; name = ReadDir(d)) {
    EXPECT_NE(list.find(std::string(" ") + name + " "), std::string::npos);
    ++n;
  }
  closedir(d);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(ReadDir(nullptr), nullptr);

  EXPECT_EQ(GetDirFileList((tmp / "missing").c_str()), nullptr);
  EXPECT_EQ(GetDirFileList((tmp / "alpha").c_str()), nullptr);
  EXPECT_EQ(GetDirFileList(nullptr), nullptr);
}

TEST(FindFile, ArgumentForms) {
  TempDir tmp;
  ASSERT_EQ(mkdir((tmp / "sub").c_str(), 0755), 0);
  Touch(tmp / "sub/file");
  const char *t = tmp.path().c_str();
  EXPECT_EQ(FindFile(t, "sub"), 1);
  EXPECT_EQ(FindFile(t, "sub/file"), 1);
  EXPECT_EQ(FindFile(nullptr, (tmp / "sub/file").c_str()), 1);
  EXPECT_EQ(FindFile((tmp / "sub/file").c_str(), nullptr), 1);
  EXPECT_EQ(FindFile((tmp / "sub/file").c_str(), ""), 1);
  EXPECT_EQ(FindFile("/", (tmp.path().substr(1) + "/sub/file").c_str()), 1);
  EXPECT_EQ(FindFile(t, "sub/"), 1);
  EXPECT_EQ(FindFile(t, "fil"), 0);
  EXPECT_EQ(FindFile(t, "file"), 0);
  EXPECT_EQ(FindFile(t, "sub/nothing"), 0);
  EXPECT_EQ(FindFile((tmp / "missing").c_str(), "file"), 0);
  EXPECT_EQ(FindFile(nullptr, nullptr), 0);
  EXPECT_EQ(FindFile(nullptr, ""), 0);
  EXPECT_EQ(FindFile("", "sub"), 0);
}

TEST(FindFile, ListingRulesLinksAndBlanks) {
  TempDir tmp;
  const char *t = tmp.path().c_str();
  /* A dangling link is an entry all the same. */
  ASSERT_EQ(symlink((tmp / "nowhere").c_str(), (tmp / "dangling").c_str()), 0);
  EXPECT_EQ(FindFile(t, "dangling"), 1);
  /* A name with a blank is never found, even when it exists beside its two halves. */
  Touch(tmp / "a b");
  Touch(tmp / "a");
  Touch(tmp / "b");
  EXPECT_EQ(FindFile(t, "a"), 1);
  EXPECT_EQ(FindFile(t, "a b"), 0);
  EXPECT_EQ(FindFile(nullptr, (tmp / "a b").c_str()), 0);
}

TEST(FindFile, OverlongPathsAreNeverLookedUpCut) {
  TempDir tmp;
  /* A directory whose "dir/name" join needs more than 256 bytes. */
  std::string deep = tmp.path();
  while (deep.size() < 250) {
    deep += "/" + std::string(40, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
  }
  Touch(deep + "/f");
  std::string rel = deep.substr(tmp.path().size() + 1);
  ASSERT_GT(tmp.path().size() + 1 + rel.size() + 2, 256u);
  /* Given apart, dir and name need no join: found. */
  EXPECT_EQ(FindFile(deep.c_str(), "f"), 1);
  /* Joined or split through the fixed buffers, the path does not fit: not found. */
  EXPECT_EQ(FindFile(tmp.path().c_str(), (rel + "/f").c_str()), 0);
  EXPECT_EQ(FindFile(nullptr, (deep + "/f").c_str()), 0);

  /* A name longer than StripPath's buffer. */
  std::string longName(150, 'L');
  Touch(tmp / longName);
  EXPECT_EQ(FindFile(tmp.path().c_str(), longName.c_str()), 1);
  EXPECT_EQ(FindFile(nullptr, (tmp / longName).c_str()), 0);
  /* The cut name must not find a file that happens to carry it. */
  Touch(tmp / longName.substr(0, 127));
  EXPECT_EQ(FindFile(nullptr, (tmp / longName).c_str()), 0);
}

TEST(GetFileType, KindsOfEntries) {
  TempDir tmp;
  Touch(tmp / "reg");
  ASSERT_EQ(mkdir((tmp / "dir").c_str(), 0755), 0);
  ASSERT_EQ(symlink((tmp / "dir").c_str(), (tmp / "dirlink").c_str()), 0);
  ASSERT_EQ(symlink((tmp / "none").c_str(), (tmp / "dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((tmp / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(GetFileType((tmp / "reg").c_str()), FT_OTHER);
  EXPECT_EQ(GetFileType((tmp / "dir").c_str()), FT_DIR);
  EXPECT_EQ(GetFileType((tmp / "dirlink").c_str()), FT_LINK);
  EXPECT_EQ(GetFileType((tmp / "dangling").c_str()), FT_LINK);
  EXPECT_EQ(GetFileType((tmp / "fifo").c_str()), FT_OTHER);
  EXPECT_EQ(GetFileType((tmp / "none").c_str()), FT_NONE);
  EXPECT_EQ(GetFileType(nullptr), FT_NONE);
}

TEST(CreateFile, MakesTheDirectoryAndAppliesTheMode) {
  TempDir tmp;
  std::string log = LogTo("ut_paths_create_dir");
  std::string target = tmp / "opt/x";
  EXPECT_EQ(std::string(CreateFile(target.c_str(), nullptr, "750", nullptr, nullptr)), target);
  EXPECT_EQ(GetFileType(target.c_str()), FT_DIR);
  EXPECT_EQ(ModeOf(target), 0750u);
  std::string text = ReadAll(log);
  EXPECT_NE(text.find("mkdir -p " + target + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("chmod"), std::string::npos) << text;
  EXPECT_NE(text.find(" 750 " + target + "\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("touch"), std::string::npos) << text;
  EXPECT_EQ(Managed(GetDirFileList(target.c_str())), " . .. ");

  /* An existing directory is not made again; the mode still changes. */
  EXPECT_EQ(std::string(CreateFile(target.c_str(), nullptr, "700", nullptr, nullptr)), target);
  EXPECT_EQ(ModeOf(target), 0700u);
  text = ReadAll(log);
  EXPECT_EQ(text.find("mkdir -p " + target + "\n"), text.rfind("mkdir -p " + target + "\n"));
  EXPECT_NE(text.find(" 700 " + target + "\n"), std::string::npos) << text;

  /* Nothing but the path: only the directory is made. */
  std::string bare = tmp / "bare/y";
  CreateFile(bare.c_str(), nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(GetFileType(bare.c_str()), FT_DIR);
  EXPECT_EQ(CreateFile(nullptr, "f", "644", nullptr, nullptr), nullptr);
  unlink(log.c_str());
}

TEST(CreateFile, CreatesTheFileWithModeOwnerAndGroup) {
  TempDir tmp;
  std::string log = LogTo("ut_paths_create_file");
  std::string dir = tmp / "d";
  std::string uid = std::to_string(getuid());
  std::string gid = std::to_string(getgid());
  CreateFile(dir.c_str(), "f.txt", "640", uid.c_str(), gid.c_str());
  std::string file = dir + "/f.txt";
  EXPECT_EQ(GetFileType(file.c_str()), FT_OTHER);
  EXPECT_EQ(ModeOf(file), 0640u);
  std::string text = ReadAll(log);
  EXPECT_NE(text.find("touch  " + file + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" 640 " + file + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("chown  " + uid + " " + file + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("chgrp  " + gid + " " + file + "\n"), std::string::npos) << text;

  /* Owner and group apply even without a mode. */
  std::string other = dir + "/g.txt";
  CreateFile(dir.c_str(), "g.txt", nullptr, uid.c_str(), nullptr);
  EXPECT_EQ(GetFileType(other.c_str()), FT_OTHER);
  text = ReadAll(log);
  EXPECT_NE(text.find("chown  " + uid + " " + other + "\n"), std::string::npos) << text;
  unlink(log.c_str());
}

TEST(CreateFileDeath, AFailingCommandEndsTheRun) {
  TempDir tmp;
  std::string log = LogTo("ut_paths_create_fail");
  std::string dir = tmp / "d";
  EXPECT_EXIT(CreateFile(dir.c_str(), "f", nullptr, "ut_no_such_user_zz", nullptr),
              testing::ExitedWithCode(1), "");
  /* The steps before the failing one were done. */
  EXPECT_EQ(GetFileType((dir + "/f").c_str()), FT_OTHER);
  EXPECT_NE(ReadAll(log).find("ERROR: "), std::string::npos);
  unlink(log.c_str());
}

TEST(CreateFileDeath, TooLongATargetRunsNoCommand) {
  TempDir tmp;
  std::string log = LogTo("ut_paths_create_long");
  std::string dir = tmp / std::string(200, 'p');
  std::string file(350, 'f');
  EXPECT_EXIT(CreateFile(dir.c_str(), file.c_str(), "644", nullptr, nullptr),
              testing::ExitedWithCode(1), "");
  EXPECT_EQ(GetFileType(dir.c_str()), FT_NONE);
  EXPECT_EQ(Managed(GetDirFileList(tmp.path().c_str())), " . .. ");
  std::string text = ReadAll(log);
  EXPECT_NE(text.find("ERROR: File name too long: " + dir + "\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("mkdir"), std::string::npos) << text;

  /* The same with the directory alone beyond 512 bytes. */
  std::string deep = tmp.path();
  while (deep.size() < 600) deep += "/" + std::string(100, 'q');
  EXPECT_EXIT(CreateFile(deep.c_str(), nullptr, "755", nullptr, nullptr),
              testing::ExitedWithCode(1), "");
  EXPECT_EQ(Managed(GetDirFileList(tmp.path().c_str())), " . .. ");
  unlink(log.c_str());
}

TEST(DeleteFile, RemovesWhatExists) {
  TempDir tmp;
  std::string log = LogTo("ut_paths_delete");
  std::string a = tmp / "a";
  ASSERT_EQ(mkdir(a.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((a + "/inner").c_str(), 0755), 0);
  Touch(a + "/inner/f");
  Touch(a + "/keep");

  /* dir/name */
  EXPECT_EQ(std::string(DeleteFile(a.c_str(), "inner")), a);
  EXPECT_EQ(GetFileType((a + "/inner").c_str()), FT_NONE);
  EXPECT_EQ(GetFileType((a + "/keep").c_str()), FT_OTHER);
  EXPECT_NE(ReadAll(log).find("rm -rf " + a + "/inner\n"), std::string::npos);

  /* A path that does not exist runs no command. */
  std::string before = ReadAll(log);
  DeleteFile(a.c_str(), "missing");
  DeleteFile((tmp / "none").c_str(), nullptr);
  EXPECT_EQ(ReadAll(log), before);

  /* The whole path as name, and dir alone. */
  std::string b = tmp / "b";
  Touch(b);
  EXPECT_EQ(std::string(DeleteFile(nullptr, b.c_str())), b);
  EXPECT_EQ(GetFileType(b.c_str()), FT_NONE);
  DeleteFile(a.c_str(), nullptr);
  EXPECT_EQ(GetFileType(a.c_str()), FT_NONE);
  EXPECT_EQ(DeleteFile(nullptr, nullptr), nullptr);
  unlink(log.c_str());
}

TEST(DeleteFile, RemovesALinkNotWhatItPointsTo) {
  TempDir tmp;
  std::string log = LogTo("ut_paths_delete_link");
  std::string target = tmp / "target";
  ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
  Touch(target + "/precious");
  std::string link = tmp / "link";
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  DeleteFile(link.c_str(), "");
  EXPECT_EQ(GetFileType(link.c_str()), FT_NONE);
  EXPECT_EQ(GetFileType((target + "/precious").c_str()), FT_OTHER);
  unlink(log.c_str());
}
