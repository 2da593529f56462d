/* vdbtool run as a user would: its output, messages and exit status for each command. */
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Dbm.h"
#include "utils.h"

namespace {

struct Result {
  int status;
  std::string out, err;
};

std::string Slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class VdbTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vdbtool_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    file = dir + "/t.vdb";
  }
  void TearDown() override { ASSERT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0); }

  Result Tool(std::vector<std::string> args) {
    std::string out = dir + "/out", err = dir + "/err";
    pid_t pid = fork();
    if (pid == 0) {
      dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      std::vector<char *> argv{const_cast<char *>(VDBTOOL_BINARY)};
      for (auto &a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
  }
  std::string dir, file;
};

TEST_F(VdbTool, StoresListsFetchesAndDeletes) {
  EXPECT_EQ(Tool({"put", file, "greeting", "hello"}).status, 0);
  EXPECT_EQ(Tool({"put", file, "20_1", "tab\there"}).status, 0);
  EXPECT_EQ(Tool({"put", file, "20_2", "x"}).status, 0);
  EXPECT_EQ(Slurp(file).substr(0, 8), std::string("TVDBAA3\0", 8));
  Result r = Tool({"list", file});
  EXPECT_EQ(r.out, "greeting\n20_1\n20_2\n");
  EXPECT_EQ(r.status, 0);
  r = Tool({"get", file, "greeting"});
  EXPECT_EQ(r.out, "hello\n");
  r = Tool({"dump", file});
  EXPECT_EQ(r.out, "greeting\thello\\0\n20_1\ttab\\there\\0\n20_2\tx\\0\n");
  r = Tool({"check", file});
  EXPECT_EQ(r.out, file + ": typed, 3 records\n");
  EXPECT_EQ(r.status, 0);

  r = Tool({"get", file, "nothing"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vdbtool: nothing: no such key\n");
  EXPECT_EQ(Tool({"delete", file, "nothing"}).status, 1);
  EXPECT_EQ(Tool({"delete", file, "20_", "--prefix"}).status, 0);
  EXPECT_EQ(Tool({"delete", file, "greeting"}).status, 0);
  EXPECT_EQ(Tool({"list", file}).out, "");
  EXPECT_EQ(Slurp(file).substr(0, 8), std::string("TVDBAA0\0", 8));
}

TEST_F(VdbTool, ReadsPlainFilesAndReportsDamage) {
  char *saved = pToolPath;
  pToolPath = const_cast<char *>(dir.c_str());
  ASSERT_EQ(DbmPutRecord("p", "k", "v\x01", 2), 1);
  pToolPath = saved;
  std::string plain = dir + "/db/p.vdb";
  EXPECT_EQ(Tool({"dump", plain}).out, "k\tv\\x01\n");
  EXPECT_EQ(Tool({"get", plain, "k"}).out, "v\x01");
  EXPECT_EQ(Tool({"put", plain, "-1", "--", "-2"}).status, 2); /* "-1" reads as an option */
  EXPECT_EQ(Tool({"put", "--", plain, "-1", "-2"}).status, 0);
  EXPECT_EQ(Tool({"check", plain}).out, plain + ": plain, 2 records\n");

  std::ofstream(plain, std::ios::app) << std::string("\x00\x09\x00", 3);
  Result r = Tool({"check", plain});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, plain + ": plain, 2 records\n" + plain +
                       ": damaged at byte 18: record runs past the end; the 3 bytes from there "
                       "are not read\n");
  r = Tool({"list", dir + "/missing"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vdbtool: " + dir + "/missing: no such database\n");
  EXPECT_EQ(Tool({"check", dir}).err, "vdbtool: " + dir + ": not a readable file\n");
}

TEST_F(VdbTool, UsageAndWrongUsage) {
  Result r = Tool({"-h"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.compare(0, 21, "usage: vdbtool list F"), 0);
  for (auto args : std::vector<std::vector<std::string>>{
           {}, {"frob", file}, {"get", file}, {"list", file, "--prefix"}, {"list", "-x", file}}) {
    r = Tool(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: vdbtool"), std::string::npos);
  }
}

}  // namespace
