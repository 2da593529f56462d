/* Message catalogue: opening catalogues, fetching messages, formatting them, redirects and
 * the fallback alias table. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <string_view>

#include "Dbm.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "NlsUtils_internal.h"
#include "utils.h"

namespace {

constexpr char kErrorText[] = "Error";
constexpr int kKeySize = 32;
constexpr int kFallbackSet = 999; /* 999_1: the alias table when trans.conf is missing */
constexpr int kFallbackNumber = 1;

char *gErrorText = nullptr;            /* the module's "Error", made on the first fetch */
char gValue[NLS_VALUE_SIZE];           /* receives a fetched value that fits */
char gRedirectName[NLS_REDIRECT_SIZE]; /* the name of the last redirect */

/* A managed copy of the length bytes at text, terminated. */
char *CopyManaged(const char *text, size_t length) {
  char *copy = static_cast<char *>(GetMem(static_cast<int>(length) + 1));
  if (copy == nullptr) SysError("Unable to allocate memory");
  memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

/* Copies length bytes of text into buffer (size bytes), cut to size - 1, terminated; text
 * may be the buffer itself (a key fetched into its own buffer). */
void CopyCut(char *buffer, int size, const char *text, size_t length) {
  size_t room = static_cast<size_t>(size) - 1;
  if (length > room) length = room;
  memmove(buffer, text, length);
  buffer[length] = '\0';
}

/* The result of a fetch that cannot look anything up. */
char *ErrorResult(char *buffer, bool fresh) {
  if (buffer && !fresh) return gErrorText;
  return SaveStr_(kErrorText);
}

/* English catalogues opened to stand in for messages missing from another language's
 * catalogue, by path; they live for the run. */
std::map<std::string, DbT *> gEnglish;

/* The English catalogue of the same name as db, when db is the catalogue of another
 * language in the tool directory (<tool>/db/<language>/<name>.vdb); null otherwise. */
DbT *EnglishFor(const DbT *db) {
  if (db == nullptr || db->path == nullptr) return nullptr;
  std::string prefix = std::string(pToolPath ? pToolPath : ".") + "/db/";
  std::string_view path(db->path);
  if (path.compare(0, prefix.size(), prefix) != 0) return nullptr;
  std::string_view rest = path.substr(prefix.size());
  size_t slash = rest.find('/');
  if (slash == std::string_view::npos || rest.substr(0, slash) == NLS_ENGLISH_NAME) return nullptr;
  std::string english = prefix + NLS_ENGLISH_NAME "/" + std::string(rest.substr(slash + 1));
  auto found = gEnglish.find(english);
  if (found == gEnglish.end()) {
    found = gEnglish.emplace(english, DbTOpenFile(english.c_str(), 0)).first;
  }
  return found->second;
}

/* NlsFetchString with a caller buffer of size bytes. */
char *Fetch(DbT *db, char *buffer, int size, int mode, va_list ap) {
  if (gErrorText == nullptr) gErrorText = SaveStr_(kErrorText);
  int set = 0;
  int number = 0;
  const char *key = nullptr;
  char keyText[kKeySize];
  bool whole = mode == NLS_FETCH_LONG; /* mode 3: whole value, always a fresh string */
  switch (mode) {
    case NLS_FETCH_SET:
    case NLS_FETCH_LONG:
      set = va_arg(ap, int);
      number = va_arg(ap, int);
      if (db == nullptr && (set == 0 || number == 0)) return ErrorResult(buffer, whole);
      snprintf(keyText, sizeof keyText, "%d_%d", set, number);
      key = keyText;
      break;
    case NLS_FETCH_KEY:
    case NLS_FETCH_KEY_2:
      key = va_arg(ap, const char *);
      if (db == nullptr || key == nullptr) return ErrorResult(buffer, false);
      break;
    default:
      return ErrorResult(buffer, false);
  }
  if (buffer && !whole && size <= 0) return gErrorText; /* a buffer with no room */

  /* A value that fits lands in gValue; a longer one in a block of its own. */
  char *value = gValue;
  int stored = db ? DbmTGetRecordV(db, key, &value, sizeof gValue) : 0;
  if (stored <= 0) { /* a message not yet translated is shown in English */
    DbT *english = EnglishFor(db);
    if (english) stored = DbmTGetRecordV(english, key, &value, sizeof gValue);
  }
  if (stored <= 0) {
    if (buffer == nullptr || whole) return SaveStr_(key);
    CopyCut(buffer, size, key, strlen(key));
    return buffer;
  }
  bool ownBlock = value != gValue;
  size_t length = strnlen(value, static_cast<size_t>(stored)); /* a stored NUL ends it */
  if (whole) {
    if (ownBlock) return value; /* GetMem left a zero byte after the stored bytes */
    return CopyManaged(value, length);
  }
  if (length > NLS_VALUE_SIZE - 1) length = NLS_VALUE_SIZE - 1;
  char *result;
  if (buffer) {
    CopyCut(buffer, size, value, length);
    result = buffer;
  } else {
    result = CopyManaged(value, length);
  }
  if (ownBlock) PutMem(value);
  return result;
}

/* Message set_number of db as a fresh format, or null when it is missing or holds "%n". */
char *FetchFormat(DbT *db, int set, int number) {
  char *text = NlsFetchString(db, nullptr, NLS_FETCH_LONG, set, number);
  char key[kKeySize];
  snprintf(key, sizeof key, "%d_%d", set, number);
  if (strcmp(text, key) == 0 || strcmp(text, kErrorText) == 0 || NlsFormatHoldsN(text)) {
    PutMem(text);
    return nullptr;
  }
  return text;
}

int FormatInto(char *dest, int size, DbT *db, int set, int number, va_list ap) {
  if (dest == nullptr || size <= 0) return 0;
  char *format = FetchFormat(db, set, number);
  int n = format ? vsnprintf(dest, static_cast<size_t>(size), format, ap)
                 : snprintf(dest, static_cast<size_t>(size), "%s", kErrorText);
  PutMem(format);
  if (n < 0) {
    dest[0] = '\0';
    return 0;
  }
  return n < size ? n : size - 1;
}

/* Opens db/<lang>/<name>.vdb of the tool directory; path receives the file's path. */
DbT *OpenCatalogue(const char *lang, const char *name, int flags, std::string *path) {
  *path = std::string(pToolPath ? pToolPath : ".") + "/db/" + lang + "/" + name + ".vdb";
  return DbTOpenFile(path->c_str(), flags);
}

}  // namespace

/* ---- Fetching ---- */

char *NlsFetchString(DbT *db, char *buffer, int mode, ...) {
  va_list ap;
  va_start(ap, mode);
  char *result = Fetch(db, buffer, NLS_VALUE_SIZE, mode, ap);
  va_end(ap);
  return result;
}

char *NlsFetchStringN(DbT *db, char *buffer, int size, int mode, ...) {
  va_list ap;
  va_start(ap, mode);
  char *result = Fetch(db, buffer, size, mode, ap);
  va_end(ap);
  return result;
}

char *NlsFetchFormat(DbT *db, int set, int number, const char *signature) {
  if (db == nullptr && (set == 0 || number == 0)) return SaveStr_(kErrorText);
  char *text = FetchFormat(db, set, number);
  if (text && signature) {
    /* Safe when the text takes the caller's arguments in order, or fewer of them. */
    char letters[64];
    int n = NlsFormatSignature(text, letters, sizeof letters);
    if (n < 0 || n >= static_cast<int>(sizeof letters) ||
        static_cast<size_t>(n) > strlen(signature) ||
        strncmp(letters, signature, static_cast<size_t>(n)) != 0) {
      PutMem(text);
      text = nullptr;
    }
  }
  return text ? text : SaveStr("%d_%d", set, number);
}

int Nlsfprintf(FILE *stream, DbT *db, int set, int number, ...) {
  if (stream == nullptr) return 0;
  char *format = FetchFormat(db, set, number);
  int n;
  if (format) {
    va_list ap;
    va_start(ap, number);
    n = vfprintf(stream, format, ap);
    va_end(ap);
    PutMem(format);
  } else {
    n = fprintf(stream, "%s", kErrorText);
  }
  return n < 0 ? 0 : n;
}

int Nlssprintf(char *dest, DbT *db, int set, int number, ...) {
  va_list ap;
  va_start(ap, number);
  int n = FormatInto(dest, NLSBUF_SIZE, db, set, number, ap);
  va_end(ap);
  return n;
}

int Nlssnprintf(char *dest, int size, DbT *db, int set, int number, ...) {
  va_list ap;
  va_start(ap, number);
  int n = FormatInto(dest, size, db, set, number, ap);
  va_end(ap);
  return n;
}

/* ---- Catalogues ---- */

DbT *NlsOpenDB(const char *name, int flags) {
  if (name == nullptr) return nullptr;
  std::string lang = GetDesiredNLSLang();
  std::string path;
  DbT *db = OpenCatalogue(lang.c_str(), name, flags, &path);
  /* A language without this catalogue is shown in English rather than as keys. */
  if ((db == nullptr || db->kind == 0) && lang != NLS_ENGLISH_NAME) {
    DbTClose(db);
    db = OpenCatalogue(NLS_ENGLISH_NAME, name, flags, &path);
  }
  if (db == nullptr || db->kind == 0) {
    fprintf(stderr, "ERROR:  Could not open English database:  %s\n", path.c_str());
    DbTClose(db);
    return nullptr;
  }
  return db;
}

/* Reads the table through pDrvCoreDB when the application has opened it, otherwise through
 * a handle of its own that is closed again: a handle left in pDrvCoreDB would be lost when
 * the application then stores the one it opens (pDrvCoreDB = NlsOpenDB(...)). */
char *NlsLoadFallbackAliases(void) {
  DbT *db = pDrvCoreDB ? pDrvCoreDB : DbTOpen(NLS_ENGLISH_NAME "/CoreString", 0);
  if (db == nullptr) return nullptr;
  char *table = NlsFetchString(db, nullptr, NLS_FETCH_LONG, kFallbackSet, kFallbackNumber);
  if (db != pDrvCoreDB) DbTClose(db);
  char key[kKeySize];
  snprintf(key, sizeof key, "%d_%d", kFallbackSet, kFallbackNumber);
  if (strcmp(table, key) == 0 || strcmp(table, kErrorText) == 0) {
    PutMem(table);
    return nullptr;
  }
  return table;
}

void NlsCloseEnglish(void) {
  for (auto &entry : gEnglish) DbTClose(entry.second);
  gEnglish.clear();
}

/* ---- Redirects ---- */

char *CheckForRedirectN(char *text, int size) {
  if (text == nullptr || size <= 0) return nullptr;
  char *name = FindRedirect(text);
  if (name == nullptr) return nullptr;
  memset(gRedirectName, 0, sizeof gRedirectName);
  memcpy(gRedirectName, name, strlen(name)); /* FindRedirect keeps names below its size */
  NlsFetchStringN(pPrtHelpDB, text, size, NLS_FETCH_KEY, gRedirectName);
  return gRedirectName;
}

char *CheckForRedirect(char *text) { return CheckForRedirectN(text, NLS_VALUE_SIZE); }
