/* Test support for the menu engine: test items and scripted sessions. Each session runs in a forked
 * child whose standard input is a text and whose standard output and error are captured, so that
 * screens are compared byte for byte, SysError and exit() end only the child, and the
 * engine's process-wide state starts fresh every time. "clear" is a fake that prints
 * "<CLEAR>", so a screen shows where the terminal was cleared. */
#ifndef COMMON_TEXTMENU_SESSION_TEST_H
#define COMMON_TEXTMENU_SESSION_TEST_H

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "TextMenu.h"
#include "fake_commands_test.h"
#include "utils.h"

/* An item of a test menu: label, kind, Default and state; no saved value. */
inline TextMenuItem Item(const char *label, uint32_t kind, intptr_t def = 0, uint32_t state = 0) {
  TextMenuItem item{};
  item.pLabel = label;
  item.Kind = kind;
  item.Default = def;
  item.State = state;
  item.Saved = -1;
  return item;
}

struct Session {
  std::string out, err;
  int status = -1; /* exit status, or 128 + signal */
};

class MenuSessionTest : public FakeCommandTest {
 protected:
  void SetUp() override {
    FakeCommandTest::SetUp();
    WriteCommand("clear", "printf '<CLEAR>'");
    pToolPath = const_cast<char *>(dir_.c_str()); /* no catalogue: texts show as keys */
  }
  void TearDown() override {
    pToolPath = nullptr;
    FakeCommandTest::TearDown();
  }

  /* Runs body in a child with input on standard input; its result is the exit status. */
  Session Run(const std::string &input, const std::function<int()> &body) {
    WriteFile("in", input);
    const std::string in = dir_ + "/in", out = dir_ + "/out", err = dir_ + "/err";
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
      setsid(); /* no controlling terminal */
      int fd0 = open(in.c_str(), O_RDONLY);
      int fd1 = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int fd2 = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd0 < 0 || fd1 < 0 || fd2 < 0) _exit(125);
      dup2(fd0, 0);
      dup2(fd1, 1);
      dup2(fd2, 2);
      exit(body());
    }
    Session s;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid)
      s.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    s.out = ReadFile("out");
    s.err = ReadFile("err");
    return s;
  }
};

#endif
