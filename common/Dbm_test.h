/* Record database tests: a fixture with its own tool directory, and file helpers. */
#ifndef COMMON_DBM_TEST_H
#define COMMON_DBM_TEST_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "Dbm.h"
#include "MemMgr.h"
#include "utils.h"

class DbmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/dbm_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    tool = tmpl;
    db = tool + "/db";
    pToolPath = const_cast<char *>(tool.c_str());
  }
  void TearDown() override {
    pToolPath = nullptr;
    std::string cmd = "chmod -R u+w '" + tool + "'; rm -rf '" + tool + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  static std::string Read(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void Write(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static bool Exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
  }
  /* Runs f in a child process; returns its exit status (f's result), -1 when it died. */
  template <typename F>
  static int InChild(F f) {
    pid_t pid = fork();
    if (pid == 0) _exit(f());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string tool, db;
};

#endif
