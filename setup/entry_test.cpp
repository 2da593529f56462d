/* Tests of the installer's entry: base names, the command line, the search for an earlier
 * installation. */
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "setup.h"

namespace fs = std::filesystem;

namespace {

/* A private temporary directory, a unique program name and fresh driver globals. */
class EntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ut_entry_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    name_ =
        std::string("ut_entry_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    my_name = name_.data();
    pOrvelInstallDir = nullptr;
    pCmdLineInstallDir = nullptr;
    flCreatedTmpDir = 0;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
    unlink(("/tmp/" + name_ + ".log").c_str());
  }

  /* Runs parseCommandLineOptions on a writable copy of args (argv[0] included). */
  int Parse(const std::vector<std::string> &args) {
    store_.assign(args.begin(), args.end());
    argv_.clear();
    for (std::string &a : store_) argv_.push_back(a.data());
    argv_.push_back(nullptr);
    return parseCommandLineOptions(static_cast<int>(store_.size()), argv_.data());
  }

  static std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

  std::string dir_;
  std::string name_;
  std::vector<std::string> store_;
  std::vector<char *> argv_;
};

std::string Strip(const char *text) {
  std::string copy(text);
  return StripToBaseName(copy.data());
}

TEST(StripToBaseName, CutsDownToTheInstallBase) {
  EXPECT_EQ(Strip("/export/opt/Orvel/vpxx"), "/export/opt");
  EXPECT_EQ(Strip("/export/opt/Orvel/vpxx/"), "/export/opt");
  EXPECT_EQ(Strip("/export/opt/"), "/export/opt");
  EXPECT_EQ(Strip("/export/opt"), "/export/opt");
  EXPECT_EQ(Strip("/opt/Orvel"), "/opt");
  EXPECT_EQ(Strip("/"), "/");
  EXPECT_EQ(Strip("/Orvel/vpxx"), "/");
  EXPECT_EQ(Strip("vpxx"), "");
  EXPECT_EQ(Strip(""), "");
  /* Only one trailing slash goes. */
  EXPECT_EQ(Strip("/data//"), "/data/");
  /* The cut is at the first "vpxx", even inside a name, and before the "Orvel" cut. */
  EXPECT_EQ(Strip("/a/vpxxdir/Orvel/vpxx"), "/a");
  EXPECT_EQ(Strip("/x/MyOrvelStuff/y"), "/x/My");
  EXPECT_EQ(StripToBaseName(nullptr), nullptr);

  char path[] = "/srv/Orvel/vpxx";
  EXPECT_EQ(StripToBaseName(path), path);
  EXPECT_STREQ(path, "/srv");
}

TEST_F(EntryTest, CommandLineFormsWithoutAWorkBase) {
  EXPECT_EQ(Parse({"setup"}), 1);
  EXPECT_EQ(pCmdLineInstallDir, nullptr);
  EXPECT_EQ(pOrvelInstallDir, nullptr);

  EXPECT_EQ(Parse({"setup", "install", "/export/opt/Orvel/vpxx"}), 3);
  ASSERT_NE(pCmdLineInstallDir, nullptr);
  EXPECT_STREQ(pCmdLineInstallDir, "/export/opt");
  /* The install base is the argument itself, cut in place. */
  EXPECT_EQ(pCmdLineInstallDir, argv_[2]);
  EXPECT_EQ(pOrvelInstallDir, nullptr);
  EXPECT_EQ(flCreatedTmpDir, 0);

  /* "install" takes the next word whatever it is, even -v. */
  pCmdLineInstallDir = nullptr;
  EXPECT_EQ(Parse({"setup", "install", "-v"}), 3);
  EXPECT_STREQ(pCmdLineInstallDir, "-v");

  /* A trailing "install" with nothing behind it is ignored. */
  pCmdLineInstallDir = nullptr;
  EXPECT_EQ(Parse({"setup", "install"}), 2);
  EXPECT_EQ(pCmdLineInstallDir, nullptr);
  EXPECT_EQ(pOrvelInstallDir, nullptr);
}

TEST_F(EntryTest, CommandLineFormsWithAWorkBase) {
  std::string work = dir_ + "/work";
  EXPECT_EQ(Parse({"setup", work}), 2);
  EXPECT_EQ(std::string(pOrvelInstallDir), work + "/OrvelInstall");
  EXPECT_EQ(pCmdLineInstallDir, nullptr);
  EXPECT_TRUE(fs::is_directory(work));
  EXPECT_FALSE(fs::exists(work + "/OrvelInstall"));
  EXPECT_EQ(flCreatedTmpDir, 1);

  /* WORKBASE INSTALLBASE: the second argument is the install base. */
  flCreatedTmpDir = 0;
  std::string inst = dir_ + "/inst";
  EXPECT_EQ(Parse({"setup", work, inst + "/Orvel/vpxx"}), 3);
  EXPECT_EQ(std::string(pOrvelInstallDir), work + "/OrvelInstall");
  EXPECT_EQ(std::string(pCmdLineInstallDir), inst);
  EXPECT_EQ(flCreatedTmpDir, 0);  /* it exists by now */
  EXPECT_FALSE(fs::exists(inst)); /* the install base is not made at this point */

  /* WORKBASE install INSTALLBASE. */
  pCmdLineInstallDir = nullptr;
  EXPECT_EQ(Parse({"setup", work, "install", "/srv/"}), 4);
  EXPECT_EQ(std::string(pOrvelInstallDir), work + "/OrvelInstall");
  EXPECT_STREQ(pCmdLineInstallDir, "/srv");

  /* WORKBASE followed by a trailing install. */
  pCmdLineInstallDir = nullptr;
  EXPECT_EQ(Parse({"setup", work, "install"}), 3);
  EXPECT_EQ(pCmdLineInstallDir, nullptr);

  /* A later work base replaces an earlier one; the install base stays the second word. */
  std::string first = dir_ + "/first", later = dir_ + "/later";
  Parse({"setup", first, "/base", later});
  EXPECT_EQ(std::string(pOrvelInstallDir), later + "/OrvelInstall");
  EXPECT_STREQ(pCmdLineInstallDir, "/base");
  EXPECT_TRUE(fs::is_directory(first));
  EXPECT_TRUE(fs::is_directory(later));
  EXPECT_FALSE(fs::exists("/base"));

  /* After install INSTALLBASE, the next word (index 3) is a work base again. */
  std::string third = dir_ + "/third";
  Parse({"setup", "install", "/b2", third});
  EXPECT_STREQ(pCmdLineInstallDir, "/b2");
  EXPECT_EQ(std::string(pOrvelInstallDir), third + "/OrvelInstall");
}

TEST_F(EntryTest, WorkBaseSlashAndCreation) {
  /* One trailing slash is dropped; the directory is made with its parents. */
  std::string deep = dir_ + "/a/b/c";
  Parse({"setup", deep + "/"});
  EXPECT_EQ(std::string(pOrvelInstallDir), deep + "/OrvelInstall");
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_EQ(flCreatedTmpDir, 1);

  /* An existing directory is used as it is. */
  flCreatedTmpDir = 0;
  Parse({"setup", dir_});
  EXPECT_EQ(std::string(pOrvelInstallDir), dir_ + "/OrvelInstall");
  EXPECT_EQ(flCreatedTmpDir, 0);

  /* The root directory stays usable although its one character is the trailing slash. */
  Parse({"setup", "/"});
  EXPECT_STREQ(pOrvelInstallDir, "/OrvelInstall");
  EXPECT_EQ(flCreatedTmpDir, 0);
}

TEST_F(EntryTest, VersionAnswer) {
  EXPECT_EXIT(Parse({"setup", "-v"}), ::testing::ExitedWithCode(0),
              "^ut_entry_VersionAnswer 4\\.50\\.11\n$");

  /* Arguments before -v are applied: the work base is made, then the run ends. */
  std::string work = dir_ + "/before";
  std::string after = dir_ + "/after";
  EXPECT_EXIT(Parse({"setup", work, "-v", after}), ::testing::ExitedWithCode(0),
              "^ut_entry_VersionAnswer 4\\.50\\.11\n$");
  EXPECT_TRUE(fs::is_directory(work));
  EXPECT_FALSE(fs::exists(after));

  /* -v after install INSTALLBASE answers all the same. */
  EXPECT_EXIT(Parse({"setup", "install", "/x", "-v"}), ::testing::ExitedWithCode(0), "4\\.50\\.11");
}

TEST_F(EntryTest, WorkBaseThatCannotBeMade) {
  std::string file = dir_ + "/file";
  { std::ofstream(file) << "x"; }
  std::string out = dir_ + "/stdout";

  /* Under a regular file: mkdir -p fails, the run ends with message 3 and status 2. */
  EXPECT_EXIT(
      {
        unsetenv("LANG");
        if (freopen(out.c_str(), "w", stdout) == nullptr) _exit(99);
        Parse({"setup", file + "/w/"});
      },
      ::testing::ExitedWithCode(2), "");
  EXPECT_EQ(ReadFile(out), "ERROR: couldn't open " + file + "/w\n\n");

  /* A regular file is no directory to work in either. */
  EXPECT_EXIT(
      {
        unsetenv("LANG");
        if (freopen(out.c_str(), "w", stdout) == nullptr) _exit(99);
        Parse({"setup", file});
      },
      ::testing::ExitedWithCode(2), "");
  EXPECT_EQ(ReadFile(out), "ERROR: couldn't open " + file + "\n\n");
  EXPECT_TRUE(fs::is_regular_file(file));
}

TEST_F(EntryTest, DirectoriesTheShellWouldMisread) {
  std::string out = dir_ + "/stdout";
  ASSERT_EQ(chdir(dir_.c_str()), 0);

  /* A blank would split the mkdir into two directories: refused before anything is made. */
  std::string spaced = dir_ + "/my dir";
  EXPECT_EXIT(
      {
        unsetenv("LANG");
        if (freopen(out.c_str(), "w", stdout) == nullptr) _exit(99);
        Parse({"setup", spaced});
      },
      ::testing::ExitedWithCode(2), "");
  EXPECT_EQ(ReadFile(out), "ERROR: couldn't open " + spaced + "\n\n");
  EXPECT_FALSE(fs::exists(dir_ + "/my"));
  EXPECT_FALSE(fs::exists(dir_ + "/dir"));

  /* Refused even when it exists: later commands would name it unquoted. */
  fs::create_directories(spaced);
  EXPECT_EXIT(Parse({"setup", spaced}), ::testing::ExitedWithCode(2), "");
  EXPECT_EXIT(Parse({"setup", dir_ + "/w;x"}), ::testing::ExitedWithCode(2), "");
  EXPECT_FALSE(fs::exists(dir_ + "/w"));

  /* An install base likewise, in both positions. */
  EXPECT_EXIT(
      {
        unsetenv("LANG");
        if (freopen(out.c_str(), "w", stdout) == nullptr) _exit(99);
        Parse({"setup", "install", "/srv/$(id)/Orvel/vpxx"});
      },
      ::testing::ExitedWithCode(2), "");
  EXPECT_EQ(ReadFile(out), "ERROR: couldn't open /srv/$(id)\n\n");
  EXPECT_EXIT(Parse({"setup", dir_, "/a b"}), ::testing::ExitedWithCode(2), "");

  /* Ordinary names pass: dots, dashes, plus, comma, colon, at, percent and Latin-1 bytes. */
  std::string plain = dir_ + "/w.1-a_b+c,d:e@f%g\351";
  Parse({"setup", plain, "/opt/x.2-y"});
  EXPECT_TRUE(fs::is_directory(plain));
  EXPECT_STREQ(pCmdLineInstallDir, "/opt/x.2-y");
  ASSERT_EQ(chdir("/"), 0);
}

TEST_F(EntryTest, EarlierInstallationAbsentOrReal) {
  /* Nothing at the probe path. */
  EXPECT_EQ(locateInstallationUnder(dir_.c_str()), nullptr);
  fs::create_directories(dir_ + "/Orvel");
  EXPECT_EQ(locateInstallationUnder(dir_.c_str()), nullptr);

  /* A regular file there is no installation and is left alone. */
  { std::ofstream(dir_ + "/Orvel/vpxx") << "x"; }
  EXPECT_EQ(locateInstallationUnder(dir_.c_str()), nullptr);
  EXPECT_TRUE(fs::is_regular_file(dir_ + "/Orvel/vpxx"));
  fs::remove(dir_ + "/Orvel/vpxx");

  /* A real directory, even without its databases, is an installation under the base. */
  fs::create_directories(dir_ + "/Orvel/vpxx");
  char *found = locateInstallationUnder(dir_.c_str());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), dir_);
}

TEST_F(EntryTest, EarlierInstallationThroughALink) {
  std::string probe = dir_ + "/Orvel/vpxx";
  fs::create_directories(dir_ + "/Orvel");
  fs::create_directories(dir_ + "/export/opt/Orvel/vpxx");

  /* Absolute link text: the base is the text cut down. */
  ASSERT_EQ(symlink((dir_ + "/export/opt/Orvel/vpxx").c_str(), probe.c_str()), 0);
  char *found = locateInstallationUnder(dir_.c_str());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), dir_ + "/export/opt");
  EXPECT_TRUE(fs::is_symlink(probe));
  fs::remove(probe);

  /* Relative link text is read from the link's directory, whatever the current one is. */
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir("/"), 0);
  ASSERT_EQ(symlink("../export/opt/Orvel/vpxx", probe.c_str()), 0);
  found = locateInstallationUnder(dir_.c_str());
  EXPECT_TRUE(fs::is_symlink(probe));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), dir_ + "/export/opt");
  fs::remove(probe);

  /* A sibling of the link: the installation is reached under the base itself. */
  fs::create_directories(dir_ + "/Orvel/vpxx-4.50");
  ASSERT_EQ(symlink("./vpxx-4.50", probe.c_str()), 0);
  found = locateInstallationUnder(dir_.c_str());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), dir_);
  ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(EntryTest, EarlierInstallationBrokenLink) {
  std::string probe = dir_ + "/Orvel/vpxx";
  fs::create_directories(dir_ + "/Orvel");

  /* Dangling: removed, no installation. */
  ASSERT_EQ(symlink((dir_ + "/gone/Orvel/vpxx").c_str(), probe.c_str()), 0);
  EXPECT_EQ(locateInstallationUnder(dir_.c_str()), nullptr);
  EXPECT_FALSE(fs::is_symlink(probe));

  /* Leading to a file: removed too; the file stays. */
  { std::ofstream(dir_ + "/plain") << "x"; }
  ASSERT_EQ(symlink((dir_ + "/plain").c_str(), probe.c_str()), 0);
  EXPECT_EQ(locateInstallationUnder(dir_.c_str()), nullptr);
  EXPECT_FALSE(fs::is_symlink(probe));
  EXPECT_TRUE(fs::is_regular_file(dir_ + "/plain"));
}

TEST_F(EntryTest, EarlierInstallationUnusableLinkText) {
  std::string probe = dir_ + "/Orvel/vpxx";
  fs::create_directories(dir_ + "/Orvel");
  const std::string tail = "/Orvel/vpxx";

  /* A text of 254 bytes fits the buffer and is used. */
  std::string base254 = dir_ + "/";
  base254 += std::string(254 - tail.size() - base254.size(), 'p');
  ASSERT_EQ((base254 + tail).size(), 254u);
  fs::create_directories(base254 + tail);
  ASSERT_EQ(symlink((base254 + tail).c_str(), probe.c_str()), 0);
  char *found = locateInstallationUnder(dir_.c_str());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), base254);
  fs::remove(probe);

  /* 255 bytes may have been cut: not used, and the link is not removed. */
  std::string base255 = base254 + "q";
  fs::create_directories(base255 + tail);
  ASSERT_EQ(symlink((base255 + tail).c_str(), probe.c_str()), 0);
  EXPECT_EQ(locateInstallationUnder(dir_.c_str()), nullptr);
  EXPECT_TRUE(fs::is_symlink(probe));
  fs::remove(probe);

  /* A text with a blank cannot be named in commands: the run ends with status 2. */
  fs::create_directories(dir_ + "/sp ace/Orvel/vpxx");
  ASSERT_EQ(symlink((dir_ + "/sp ace/Orvel/vpxx").c_str(), probe.c_str()), 0);
  EXPECT_EXIT(locateInstallationUnder(dir_.c_str()), ::testing::ExitedWithCode(2), "");
  EXPECT_TRUE(fs::is_symlink(probe));
  fs::remove(probe);

  /* Longer still, and dangling: kept all the same, since it was not read whole. */
  std::string longer = base255 + std::string(40, 'r') + tail;
  ASSERT_EQ(symlink(longer.c_str(), probe.c_str()), 0);
  EXPECT_EQ(locateInstallationUnder(dir_.c_str()), nullptr);
  EXPECT_TRUE(fs::is_symlink(probe));
}

}  // namespace
