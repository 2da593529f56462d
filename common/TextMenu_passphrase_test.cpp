/* Pass-phrase entry: on a real pseudo-terminal (the child's controlling terminal, driven
 * through its master side: the transcript is exactly what a user would see), and without
 * any terminal (a new session whose standard input is a pipe). Every case runs in a
 * forked child, which reports the phrase, errno and signo through a pipe of its own. */
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
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

using namespace std::string_literals;

const char kPrompt[] = "Phrase: ";

/* Reads everything fd holds until it is closed or ms pass. */
std::string Drain(int fd, int ms) {
  std::string out;
  char buf[4096];
  pollfd p = {fd, POLLIN, 0};
  while (poll(&p, 1, ms) > 0) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

/* The child's report: "errno signo caught restored|phrase". */
std::string Report(char *phrase, int err, int caught, bool restored) {
  std::string r = std::to_string(err) + " " + std::to_string(signo) + " " + std::to_string(caught) +
                  " " + (restored ? "1" : "0") + "|" + phrase;
  PutMem(phrase);
  return r;
}

volatile sig_atomic_t caughtInts = 0;
void CountInt(int) { caughtInts = caughtInts + 1; }

/* A child on the slave side of a pty, as its controlling terminal. */
class Pty {
 public:
  explicit Pty(bool ownHandler) {
    EXPECT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    tcgetattr(slave_, &before_);
    int report[2];
    EXPECT_EQ(pipe(report), 0);
    pid_ = fork();
    if (pid_ == 0) {
      close(master_);
      close(report[0]);
      setsid();
      ioctl(slave_, TIOCSCTTY, 0);
      for (int fd = 0; fd < 3; ++fd) dup2(slave_, fd);
      if (ownHandler) signal(SIGINT, CountInt);
      char *phrase = GetPassPhrase(kPrompt);
      int err = errno;
      struct sigaction now;
      sigaction(SIGINT, nullptr, &now);
      std::string r = Report(phrase, err, caughtInts, now.sa_handler == CountInt);
      if (write(report[1], r.data(), r.size()) < 0) _exit(3);
      _exit(0);
    }
    close(report[1]);
    report_ = report[0];
  }
  ~Pty() {
    close(master_);
    close(slave_);
    close(report_);
  }

  /* Waits until the transcript holds text once more than it did. */
  bool WaitFor(const std::string &text) {
    for (int i = 0; i < 100; ++i) {
      size_t at = screen_.find(text, seen_);
      if (at != std::string::npos) {
        seen_ = at + text.size();
        return true;
      }
      screen_ += Drain(master_, 50);
    }
    return false;
  }
  /* Waits until the terminal no longer echoes: only then is typing safe. */
  bool WaitEchoOff() {
    termios t;
    for (int i = 0; i < 500; ++i) {
      if (tcgetattr(slave_, &t) == 0 && (t.c_lflag & ECHO) == 0) return true;
      usleep(10000);
    }
    return false;
  }
  void Type(const std::string &keys) {
    EXPECT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  void Signal(int sig) { kill(pid_, sig); }

  /* Waits for the child; its exit status, or 128 + the signal that ended it. */
  int Finish() {
    int status = 0;
    for (int i = 0; i < 500 && waitpid(pid_, &status, WNOHANG) == 0; ++i) usleep(10000);
    if (waitpid(pid_, &status, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      return -1;
    }
    screen_ += Drain(master_, 50);
    report = Drain(report_, 100);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  /* The terminal settings are exactly those from before the call. */
  bool SettingsRestored() {
    termios after;
    tcgetattr(slave_, &after);
    return after.c_iflag == before_.c_iflag && after.c_oflag == before_.c_oflag &&
           after.c_cflag == before_.c_cflag && after.c_lflag == before_.c_lflag &&
           memcmp(after.c_cc, before_.c_cc, sizeof after.c_cc) == 0;
  }

  std::string screen_, report;

 private:
  int master_ = -1, slave_ = -1, report_ = -1;
  pid_t pid_ = -1;
  size_t seen_ = 0;
  termios before_;
};

TEST(PassPhrase, TerminalShowsNothingTypedAndGetsItsSettingsBack) {
  const struct {
    std::string typed, phrase;
  } cases[] = {{"s3cret pw\n", "s3cret pw"}, {std::string(300, 'x') + "\n", std::string(256, 'x')}};
  for (const auto &c : cases) {
    Pty pty(false);
    ASSERT_TRUE(pty.WaitFor(kPrompt));
    ASSERT_TRUE(pty.WaitEchoOff());
    pty.Type(c.typed);
    EXPECT_EQ(pty.Finish(), 0);
    EXPECT_EQ(pty.screen_, std::string(kPrompt) + "\r\n"); /* the line end, no echo */
    EXPECT_EQ(pty.report, "0 0 0 0|" + c.phrase);
    EXPECT_TRUE(pty.SettingsRestored());
  }
}

TEST(PassPhrase, SignalsEndTheReadAndArePassedOn) {
  /* SIGINT caught by the program's own handler: the read ends, the handler runs once and
   * is back in place, echo is back. */
  {
    Pty pty(true);
    ASSERT_TRUE(pty.WaitFor(kPrompt));
    ASSERT_TRUE(pty.WaitEchoOff());
    pty.Type("half");
    pty.Signal(SIGINT);
    EXPECT_EQ(pty.Finish(), 0);
    EXPECT_EQ(pty.report, std::to_string(EINTR) + " " + std::to_string(SIGINT) + " 1 1|");
    EXPECT_TRUE(pty.SettingsRestored());
  }
  /* Default actions: the process ends by the signal, with echo restored first. */
  for (int sig : {SIGINT, SIGTERM}) {
    Pty pty(false);
    ASSERT_TRUE(pty.WaitFor(kPrompt));
    ASSERT_TRUE(pty.WaitEchoOff());
    pty.Signal(sig);
    EXPECT_EQ(pty.Finish(), 128 + sig);
    EXPECT_EQ(pty.screen_, std::string(kPrompt) + "\r\n");
    EXPECT_TRUE(pty.SettingsRestored());
  }
  /* A stop: the terminal is restored, the signal passed on (a process group without a
   * parent shell is not stopped), and the question is asked again. */
  {
    Pty pty(false);
    ASSERT_TRUE(pty.WaitFor(kPrompt));
    ASSERT_TRUE(pty.WaitEchoOff());
    pty.Signal(SIGTSTP);
    ASSERT_TRUE(pty.WaitFor(kPrompt));
    ASSERT_TRUE(pty.WaitEchoOff());
    pty.Type("again\n");
    EXPECT_EQ(pty.Finish(), 0);
    EXPECT_EQ(pty.screen_, std::string(kPrompt) + "\r\n" + kPrompt + "\r\n");
    EXPECT_EQ(pty.report, "0 0 0 0|again");
    EXPECT_TRUE(pty.SettingsRestored());
  }
}

/* No terminal at all: a new session, standard input a pipe holding input (kept open when
 * hold is set). The child reads a line with Gets first when before is set, then the
 * phrase, then one more line. Returns "report;next line" and the standard error text. */
std::pair<std::string, std::string> NoTerminal(const std::string &input, bool before, bool hold) {
  int in[2], err[2], report[2];
  EXPECT_EQ(pipe(in) | pipe(err) | pipe(report), 0);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    dup2(in[0], 0);
    dup2(err[1], 2);
    close(in[1]);
    textmenu::passPhraseTimeoutMs = 300;
    char line[64] = "";
    if (before) Gets(line, sizeof line);
    char *phrase = GetPassPhrase(kPrompt);
    int e = errno;
    std::string r = Report(phrase, e, 0, false) + ";" + line + ";";
    r += Gets(line, sizeof line) != nullptr ? line : "<eof>";
    if (write(report[1], r.data(), r.size()) < 0) _exit(3);
    _exit(0);
  }
  close(in[0]);
  close(err[1]);
  close(report[1]);
  EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  if (hold) usleep(600000); /* twice the child's time allowed */
  close(in[1]);
  std::string r = Drain(report[0], 5000), e = Drain(err[0], 100);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(err[0]);
  close(report[0]);
  return {r, e};
}

TEST(PassPhrase, WithoutTerminalReadsStandardInputInTurn) {
  const std::string e = std::string(kPrompt) + "\n";
  /* After a line read through stdio, the phrase is the next line, not a later one. */
  EXPECT_EQ(NoTerminal("first\nsecret\nnext\n", true, false),
            std::make_pair("0 0 0 0|secret;first;next"s, e));
  /* Over 256 characters: cut, and the rest of the line is not left for the next reader. */
  EXPECT_EQ(NoTerminal(std::string(300, 'y') + "\nnext\n", false, false),
            std::make_pair("0 0 0 0|" + std::string(256, 'y') + ";;next", e));
  /* A "\r\n" line end is one line end. */
  EXPECT_EQ(NoTerminal("pw\r\nnext\n", false, false), std::make_pair("0 0 0 0|pw;;next"s, e));
  /* No more input for the time allowed: what was typed, and ETIMEDOUT. */
  EXPECT_EQ(NoTerminal("abc", false, true),
            std::make_pair(std::to_string(ETIMEDOUT) + " 0 0 0|abc;;<eof>", e));
  /* End of input: an empty phrase. */
  EXPECT_EQ(NoTerminal("", false, false), std::make_pair("0 0 0 0|;;<eof>"s, e));
}

}  // namespace
