/* Pass-phrase entry on a real pseudo-terminal (the child's controlling terminal, driven
 * through the master side, whose transcript is what a user would see) and without any
 * terminal (a new session reading a pipe). The child reports "errno signo|phrase". */
#include <errno.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "MemMgr.h"
#include "TextMenu.h"
#include "gtest/gtest.h"
#include "utils.h"

namespace textmenu {
extern int passPhraseTimeoutMs; /* TextMenu_passphrase.cpp */
}

namespace {

/* What fd holds until it is closed or nothing comes for ms. */
std::string Drain(int fd, int ms) {
  std::string out;
  char buf[4096];
  pollfd p = {fd, POLLIN, 0};
  for (ssize_t n; poll(&p, 1, ms) > 0 && (n = read(fd, buf, sizeof buf)) > 0;)
    out.append(buf, static_cast<size_t>(n));
  return out;
}

/* Forks a child in a session of its own that runs setup, GetPassPhrase("P: ") and after,
 * and writes "errno signo|phrase" and what after returns to a pipe that Wait reads. */
struct Child {
  Child(const std::function<void()> &setup, const std::function<std::string()> &after) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      setsid();
      setup();
      char *phrase = GetPassPhrase("P: ");
      std::string r = std::to_string(errno) + " " + std::to_string(signo) + "|" + phrase;
      r += after();
      if (write(fds[1], r.data(), r.size()) < 0) _exit(3);
      _exit(0);
    }
    close(fds[1]);
    report = fds[0];
  }
  /* The exit status (128 + signal when a signal ended it); the report in text. */
  int Wait(std::string *text) {
    *text = Drain(report, 5000);
    close(report);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_t pid;
  int report;
};

volatile sig_atomic_t caught = 0;
void Catch(int) { caught = caught + 1; }

TEST(PassPhrase, TerminalNeverEchoesAndGetsItsSettingsBack) {
  const std::string p = "P: \r\n"; /* the prompt and the line end after it, nothing typed */
  const struct {
    int sig;  /* sent once echo is off */
    bool own; /* the program catches SIGINT itself */
    std::string typed, screen, report;
    int status;
  } cases[] = {
      {0, false, "s3cret pw\n", p, "0 0|s3cret pw; 0", 0},
      {SIGINT, true, "", p, std::to_string(EINTR) + " 2|; 1", 0}, /* the handler ran once */
      {SIGINT, false, "", p, "", 128 + SIGINT},
      {SIGTERM, false, "", p, "", 128 + SIGTERM},
      /* A stop (passed on, but a session of its own is never stopped): asked again. */
      {SIGTSTP, false, "again\n", p + p, "0 0|again; 0", 0},
  };
  for (const auto &c : cases) {
    int master, slave;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios before, now;
    tcgetattr(slave, &before);
    Child child(
        [&] {
          ioctl(slave, TIOCSCTTY, 0);
          for (int fd = 0; fd < 3; ++fd) dup2(slave, fd);
          if (c.own) signal(SIGINT, Catch);
        },
        [&] {
          struct sigaction act;
          sigaction(SIGINT, nullptr, &act);
          return "; " + std::to_string(caught) + (c.own && act.sa_handler != Catch ? " lost" : "");
        });
    std::string screen;
    /* Typing is safe only once echo is off, which comes after the prompt. */
    auto waitEchoOff = [&] {
      for (int i = 0; i < 500; ++i) {
        screen += Drain(master, 10);
        if (tcgetattr(slave, &now) == 0 && !(now.c_lflag & ECHO) && screen.size() >= 3) break;
      }
    };
    waitEchoOff();
    if (c.sig != 0) kill(child.pid, c.sig);
    if (c.sig == SIGTSTP) {
      for (int i = 0; i < 100 && screen.size() < 8; ++i) screen += Drain(master, 10);
      waitEchoOff();
    }
    EXPECT_EQ(write(master, c.typed.data(), c.typed.size()), static_cast<ssize_t>(c.typed.size()));
    std::string report;
    EXPECT_EQ(child.Wait(&report), c.status) << c.sig;
    screen += Drain(master, 50);
    EXPECT_EQ(screen, c.screen) << c.sig;
    EXPECT_EQ(report, c.report) << c.sig;
    tcgetattr(slave, &now);
    EXPECT_TRUE(now.c_iflag == before.c_iflag && now.c_oflag == before.c_oflag &&
                now.c_lflag == before.c_lflag && !memcmp(now.c_cc, before.c_cc, sizeof now.c_cc))
        << c.sig;
    close(master);
    close(slave);
  }
}

TEST(PassPhrase, WithoutTerminalReadsStandardInputInTurn) {
  const struct {
    std::string input, report;
    bool hold; /* the writer stays open: no end of input */
  } cases[] = {
      /* After a line read through stdio, the phrase is the next line, not a later one. */
      {"first\nsecret\nnext\n", "0 0|secret;next", false},
      /* Over 256 characters: cut, and the rest of the line is not left for the next read. */
      {std::string(300, 'y') + "\nnext\n", "0 0|" + std::string(256, 'y') + ";next", false},
      {"pw\r\nnext\n", "0 0|pw;next", false}, /* "\r\n" is one line end */
      {"abc", std::to_string(ETIMEDOUT) + " 0|abc;", true},
      {"", "0 0|;", false},
  };
  for (const auto &c : cases) {
    int in[2], err[2];
    ASSERT_EQ(pipe(in) | pipe(err), 0);
    const bool first = c.input.compare(0, 6, "first\n") == 0;
    Child child(
        [&] {
          dup2(in[0], 0);
          dup2(err[1], 2);
          close(in[1]);
          textmenu::passPhraseTimeoutMs = 300;
          char line[8];
          if (first) Gets(line, sizeof line);
        },
        [] {
          char line[8];
          return std::string(";") + (Gets(line, sizeof line) ? line : "");
        });
    close(in[0]);
    close(err[1]);
    EXPECT_EQ(write(in[1], c.input.data(), c.input.size()), static_cast<ssize_t>(c.input.size()));
    if (c.hold) usleep(600000); /* twice the time allowed */
    close(in[1]);
    std::string report;
    EXPECT_EQ(child.Wait(&report), 0);
    EXPECT_EQ(report, c.report);
    EXPECT_EQ(Drain(err[0], 100), "P: \n"); /* the prompt on standard error */
    close(err[0]);
  }
}

}  // namespace
