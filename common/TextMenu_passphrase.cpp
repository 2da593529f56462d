/* Text menu engine: reading a pass phrase on the terminal without echo.
 *
 * The phrase is read from "/dev/tty" (standard input when there is no terminal) one
 * character at a time, with echo switched off and the seven terminal signals caught by
 * handler for the duration of one read. The signals are blocked except while the read
 * waits (ppoll lets them through atomically), so a signal can never slip in between the
 * test of signo and the wait: it ends the read at once. Every way out restores the
 * terminal settings and the signal actions before a caught signal is passed on. */
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "MemMgr.h"
#include "TextMenu.h"
#include "utils.h"

volatile sig_atomic_t signo = 0;

void handler(int sig) { signo = sig; }

namespace textmenu {
/* Longest wait for one character, in milliseconds. Tests lower it (they declare it
 * themselves); it is not part of the C interface. */
int passPhraseTimeoutMs = 60000;
}  // namespace textmenu

namespace {

constexpr int kCaught[] = {SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU};
constexpr int kCaughtCount = sizeof kCaught / sizeof kCaught[0];
constexpr int kPhraseMax = 256;

/* The phrase being read; wiped as soon as the caller's copy is made. */
char phraseBuf[kPhraseMax + 1];

void Wipe() { explicit_bzero(phraseBuf, sizeof phraseBuf); }

void WriteAll(int fd, const char *text) {
  size_t left = text != nullptr ? strlen(text) : 0;
  while (left > 0) {
    ssize_t n = write(fd, text, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

/* True when standard input's stdio buffer holds a byte, so that reading it cannot block.
 * Where the buffer cannot be inspected it answers true: the byte is then read without the
 * timeout, but never past what stdio already holds. */
bool StdinBuffered() {
#if defined(__GLIBC__)
  return stdin->_IO_read_ptr < stdin->_IO_read_end;
#else
  return true;
#endif
}

/* What ended the wait for one character. */
enum class Got { kChar, kEnd };

/* Reads one character of the phrase. The caught signals are blocked on entry; waitMask
 * (the caller's own mask) is in force only during the wait and the read itself. On kEnd,
 * *err holds the reason: 0 end of file, EINTR a caught signal, ETIMEDOUT no input in time,
 * or the error of the wait or the read. */
Got ReadChar(int fd, bool fromStdin, const sigset_t &waitMask, const sigset_t &blockMask, char *c,
             int *err) {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += textmenu::passPhraseTimeoutMs / 1000;
  deadline.tv_nsec += (textmenu::passPhraseTimeoutMs % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  for (;;) {
    if (signo != 0) {
      *err = EINTR;
      return Got::kEnd;
    }
    if (!fromStdin || !StdinBuffered()) {
      timespec now, left;
      clock_gettime(CLOCK_MONOTONIC, &now);
      left.tv_sec = deadline.tv_sec - now.tv_sec;
      left.tv_nsec = deadline.tv_nsec - now.tv_nsec;
      if (left.tv_nsec < 0) {
        left.tv_sec -= 1;
        left.tv_nsec += 1000000000L;
      }
      if (left.tv_sec < 0) left.tv_sec = left.tv_nsec = 0;
      pollfd p = {fd, POLLIN, 0};
      int r = ppoll(&p, 1, &left, &waitMask);
      if (r < 0) {
        if (errno == EAGAIN || (errno == EINTR && signo == 0)) continue;
        *err = errno;
        return Got::kEnd;
      }
      if (signo != 0) continue;
      if (r == 0) {
        *err = ETIMEDOUT;
        return Got::kEnd;
      }
    }
    /* The read itself runs with the caller's mask, so that a background job reading the
     * terminal is stopped by SIGTTIN as usual (and asks again once continued). */
    sigprocmask(SIG_SETMASK, &waitMask, nullptr);
    int got, e;
    if (fromStdin) {
      got = getc(stdin);
      e = got == EOF && ferror(stdin) ? errno : 0;
      if (got == EOF && e != 0) clearerr(stdin);
    } else {
      unsigned char byte;
      ssize_t n = read(fd, &byte, 1);
      e = n < 0 ? errno : 0;
      got = n == 1 ? byte : EOF;
    }
    sigprocmask(SIG_SETMASK, &blockMask, nullptr);
    if (got != EOF) {
      *c = static_cast<char>(got);
      return Got::kChar;
    }
    if (e == EAGAIN || (e == EINTR && signo == 0)) continue; /* nothing there after all */
    *err = e;
    return Got::kEnd;
  }
}

/* Reads the phrase into phraseBuf: up to kPhraseMax characters, to the line end. The rest
 * of a longer line is read and dropped, so that it never reaches the next reader. Returns
 * the reason reading ended (0 at the line end or end of file). */
int ReadPhrase(int fd, bool fromStdin, const sigset_t &waitMask, const sigset_t &blockMask) {
  int n = 0, err = 0;
  char c;
  while (ReadChar(fd, fromStdin, waitMask, blockMask, &c, &err) == Got::kChar) {
    if (c == '\n') break;
    if (c == '\r') {
      /* A "\r\n" line end of a script: the "\n" goes with it. */
      if (fromStdin && StdinBuffered()) {
        int next = getc(stdin);
        if (next != '\n' && next != EOF) ungetc(next, stdin);
      }
      break;
    }
    if (n < kPhraseMax) phraseBuf[n++] = c;
  }
  phraseBuf[n] = '\0';
  return err;
}

bool IsStopSignal(int sig) { return sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU; }

}  // namespace

char *GetPassPhrase(const char *prompt) {
  for (;;) {
    fflush(stdout);
    Wipe();
    const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    const bool fromStdin = tty < 0;
    const int in = fromStdin ? 0 : tty, out = fromStdin ? 2 : tty;
    WriteAll(out, prompt);

    sigset_t waitMask, blockMask;
    sigprocmask(SIG_SETMASK, nullptr, &waitMask);
    blockMask = waitMask;
    for (int sig : kCaught) sigaddset(&blockMask, sig);
    sigprocmask(SIG_SETMASK, &blockMask, nullptr);
    struct sigaction act, saved[kCaughtCount];
    memset(&act, 0, sizeof act);
    act.sa_handler = handler;
    sigemptyset(&act.sa_mask);
    act.sa_flags = 0;
    for (int i = 0; i < kCaughtCount; ++i) sigaction(kCaught[i], &act, &saved[i]);

    /* Echo off. Settings that cannot be read count as all zero and are left alone. The
     * switch runs with the signals let through, so that a background job is stopped by
     * SIGTTOU instead of changing the foreground's terminal. */
    termios term, modified;
    memset(&term, 0, sizeof term);
    memset(&modified, 0, sizeof modified);
    bool restore = false, echoOff = true;
    int switchErr = 0;
    if (tcgetattr(in, &term) == 0) {
      modified = term;
      modified.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
      if (modified.c_lflag != term.c_lflag) {
        sigprocmask(SIG_SETMASK, &waitMask, nullptr);
        int r = tcsetattr(in, TCSAFLUSH, &modified);
        switchErr = r != 0 ? errno : 0;
        sigprocmask(SIG_SETMASK, &blockMask, nullptr);
        termios now;
        if (tcgetattr(in, &now) == 0) {
          restore = now.c_lflag != term.c_lflag;
          echoOff = (now.c_lflag & ECHO) == 0;
        } else {
          restore = r == 0;
          echoOff = r == 0;
        }
        if (!echoOff && switchErr == 0) switchErr = EIO;
      }
    }

    errno = 0;
    int endErr = 0;
    if (echoOff) {
      endErr = ReadPhrase(in, fromStdin, waitMask, blockMask);
    } else {
      phraseBuf[0] = '\0';
      endErr = signo != 0 ? EINTR : switchErr;
    }
    if ((modified.c_lflag & ECHO) == 0) WriteAll(out, "\n");
    if (restore) tcsetattr(in, TCSAFLUSH, &term);

    /* Signals that came after the last wait are still pending: let them reach handler
     * before its actions are put back, so that they are passed on below. */
    sigprocmask(SIG_SETMASK, &waitMask, nullptr);
    sigprocmask(SIG_SETMASK, &blockMask, nullptr);
    for (int i = 0; i < kCaughtCount; ++i) sigaction(kCaught[i], &saved[i], nullptr);
    if (tty >= 0) close(tty);
    sigprocmask(SIG_SETMASK, &waitMask, nullptr);

    if (!echoOff && signo == 0) {
      fprintf(stderr,
              "ERROR: cannot switch off echo on the terminal: %s\n"
              "The pass phrase was not read; try again from a terminal you own.\n",
              strerror(endErr));
    }
    if (signo != 0) {
      const int sig = signo;
      if (IsStopSignal(sig)) {
        signo = 0;
        Wipe();
        kill(getpid(), sig); /* stops here; once continued, ask again */
        continue;
      }
      kill(getpid(), sig);
      endErr = EINTR; /* the process survived: the phrase read so far */
    }
    char *copy = SaveStr_(phraseBuf);
    Wipe();
    errno = endErr;
    return copy;
  }
}
