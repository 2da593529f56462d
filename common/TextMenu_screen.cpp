/* Text menu engine: the character screen of the full-screen picker.
 *
 * A TextScreen is a buffer of Cols x Rows characters, row after row, that the picker
 * draws into and Refresh writes to the terminal in one go. The terminal layer (size,
 * cursor, clearing) uses no terminal library: the size comes from the terminal itself,
 * else from COLUMNS and LINES, else 80 x 24; the cursor is moved with ANSI sequences.
 * Nothing is ever written outside the buffer: text that runs past its end is cut. */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include "MemMgr.h"
#include "TextMenu.h"

namespace {

/* A size from the environment: decimal digits only, within 1..TM_SCREEN_MAX; else 0. */
int EnvSize(const char *name) {
  const char *text = getenv(name);
  if (text == nullptr || *text == '\0') return 0;
  long value = 0;
  for (const char *p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return 0;
    value = value * 10 + (*p - '0');
    if (value > TM_SCREEN_MAX) return 0;
  }
  return static_cast<int>(value);
}

/* Number of characters in the buffer. */
long Cells(const TextScreen *screen) {
  if (screen == nullptr || screen->pData == nullptr || screen->Cols <= 0 || screen->Rows <= 0)
    return 0;
  return static_cast<long>(screen->Cols) * screen->Rows;
}

}  // namespace

TextScreen *SetPosition(TextScreen *screen, int x, int y) {
  if (screen == nullptr) return nullptr;
  screen->CurX = static_cast<uint32_t>(x);
  screen->CurY = static_cast<uint32_t>(y);
  return screen;
}

int WriteString(TextScreen *screen, const char *fmt, ...) {
  const long cells = Cells(screen);
  if (cells == 0 || fmt == nullptr) return 0;
  char text[TM_SCREEN_TEXT_SIZE];
  va_list ap;
  va_start(ap, fmt);
  int len = vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  if (len < 0) return 0;
  if (len >= static_cast<int>(sizeof text)) len = static_cast<int>(sizeof text) - 1;
  const uint32_t y =
      screen->CurY >= 1 && screen->CurY <= static_cast<uint32_t>(screen->Rows) ? screen->CurY : 1;
  const uint32_t x = screen->CurX <= static_cast<uint32_t>(screen->Cols) ? screen->CurX : 0;
  const long at = static_cast<long>(y - 1) * screen->Cols + x;
  long n = len;
  if (n > cells - at) n = cells - at;
  if (n <= 0) return 0;
  memcpy(screen->pData + at, text, static_cast<size_t>(n));
  return static_cast<int>(n);
}

TextScreen *FillArea(TextScreen *screen, int x, int y, int width, int height, int ch) {
  if (Cells(screen) == 0) return screen;
  if (x < 0) {
    width += x;
    x = 0;
  }
  if (y < 0) {
    height += y;
    y = 0;
  }
  if (width > screen->Cols - x) width = screen->Cols - x;
  if (height > screen->Rows - y) height = screen->Rows - y;
  for (int row = y; width > 0 && row < y + height; ++row)
    memset(screen->pData + static_cast<long>(row) * screen->Cols + x, ch,
           static_cast<size_t>(width));
  return screen;
}

TextScreen *Refresh(TextScreen *screen) {
  if (Cells(screen) == 0) return screen;
  MoveCursor(screen, 0, 1);
  for (int row = 0; row < screen->Rows; ++row) {
    const char *p = screen->pData + static_cast<long>(row) * screen->Cols;
    /* The last character of the screen is left out: writing it would scroll. */
    size_t len = static_cast<size_t>(row + 1 < screen->Rows ? screen->Cols : screen->Cols - 1);
    const void *nul = memchr(p, '\0', len);
    if (nul != nullptr) len = static_cast<size_t>(static_cast<const char *>(nul) - p);
    const void *nl = memchr(p, '\n', len);
    if (nl != nullptr) len = static_cast<size_t>(static_cast<const char *>(nl) - p) + 1;
    fwrite(p, 1, len, stdout);
  }
  fflush(stdout);
  return screen;
}

TextScreen *Overlay(TextScreen *screen, const char *text, int wait) {
  if (screen == nullptr) return nullptr;
  const size_t width = screen->OvlWidth > 0 ? static_cast<size_t>(screen->OvlWidth) : 0;
  const int height = screen->OvlHeight > 0 ? screen->OvlHeight : 0;
  const char *p = text != nullptr ? text : "";
  int y = screen->OvlY;
  auto line = [&](const std::string &s) {
    MoveCursor(screen, screen->OvlX, y++);
    fputs(s.c_str(), stdout);
  };
  const std::string border(width + 4, '*');
  fputs("\0337", stdout); /* save the cursor */
  line(border);
  for (int k = 0; k < height; ++k) {
    std::string row = "* ";
    while (row.size() < width + 2 && *p != '\0' && *p != '\n') row += *p++;
    if (*p == '\n') ++p;
    row.resize(width + 2, ' ');
    line(row + " *");
  }
  if (wait) {
    std::string row = "* Press enter";
    row.resize(width + 3, ' ');
    line(row + "*");
  }
  line(border);
  fputs("\0338", stdout); /* back where the cursor was */
  fflush(stdout);
  if (wait) {
    /* The key and its line end: nothing of the line is left for the next reader. */
    int c;
    while ((c = getchar()) != EOF && c != '\n') {
    }
  }
  return screen;
}

TextScreen *NumberScreen(TextScreen *screen) {
  if (Cells(screen) == 0) return screen;
  const int rows = screen->Rows < 24 ? screen->Rows : 24;
  const int cols = screen->Cols < 80 ? screen->Cols : 80;
  for (int row = 0; row < rows; ++row) {
    char *p = screen->pData + static_cast<long>(row) * screen->Cols;
    for (int x = 0; x < cols; ++x) p[x] = static_cast<char>('0' + x % 10);
  }
  return screen;
}

TextScreen *SetOvlInfo(TextScreen *screen, int x, int y, int width, int height) {
  if (screen == nullptr) return nullptr;
  screen->OvlX = x;
  screen->OvlY = y;
  screen->OvlWidth = width;
  screen->OvlHeight = height;
  return screen;
}

TextScreen *GetTermInfo(TextScreen *screen) {
  if (screen == nullptr) return nullptr;
  int cols = 0, rows = 0;
  winsize size;
  if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 &&
      size.ws_row > 0 && size.ws_col <= TM_SCREEN_MAX && size.ws_row <= TM_SCREEN_MAX) {
    cols = size.ws_col;
    rows = size.ws_row;
  } else {
    cols = EnvSize("COLUMNS");
    rows = EnvSize("LINES");
  }
  if (cols == 0) cols = 80;
  if (rows == 0) rows = 24;
  if (screen->pData == nullptr || screen->Cols != cols || screen->Rows != rows) {
    if (screen->pData != nullptr) PutMem(screen->pData);
    screen->pData = static_cast<char *>(GetMem(cols * rows));
  }
  screen->Cols = cols;
  screen->Rows = rows;
  screen->CurX = 0;
  screen->CurY = 1;
  return ClearScreen(screen);
}

void MoveCursor(TextScreen *screen, int x, int y) {
  if (screen != nullptr && Cells(screen) != 0) {
    if (x >= screen->Cols) x = screen->Cols - 1;
    if (y > screen->Rows) y = screen->Rows;
  }
  if (x < 0) x = 0;
  if (y < 1) y = 1;
  printf("\033[%d;%dH", y, x + 1);
}

TextScreen *ClearScreen(TextScreen *screen) {
  const long cells = Cells(screen);
  if (cells != 0) memset(screen->pData, ' ', static_cast<size_t>(cells));
  return screen;
}
