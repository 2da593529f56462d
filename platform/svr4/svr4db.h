/* The SVR4 package database as the stand-ins pkgadd, installf and pkginfo keep it, and the
 * file-system helpers they share.
 *
 * The contents file (<root>/var/sadm/install/contents) holds one record per installed path,
 * "path type class mode owner group package", blank-separated. A writer reads it once, changes
 * it in memory and writes it back once: a new file beside it, renamed into place, so a
 * failure never leaves it half written. Writers hold an exclusive lock on its directory from
 * the read to the rename; readers take none (they see the old file or the new one).
 *
 * Everything here is for the three tools only; it is not part of the common library.
 */
#ifndef PLATFORM_SVR4_SVR4DB_H
#define PLATFORM_SVR4_SVR4DB_H

#include <sys/stat.h>
#include <sys/types.h>

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace svr4 {

/* ---- Messages ---- */

/* "<prog>: ERROR: <text>\n" on standard error. */
void Error(const char *prog, const std::string &text);
/* "<prog>: WARNING: <text>\n" on standard error. */
void Warning(const char *prog, const std::string &text);

/* ---- Text ---- */

/* The first n blank-separated fields of line (blanks: space and tab; leading blanks
 * skipped), as views into line; fewer when the line has fewer. */
std::vector<std::string_view> Fields(std::string_view line, size_t n);
/* The first blank-separated field of line ("" for a blank line). */
std::string_view FirstField(std::string_view line);
/* Splits text into lines (a last line without its newline counts; no empty line after a
 * final newline). The views point into text. */
std::vector<std::string_view> Lines(std::string_view text);
/* True when word can be a field of a record: not empty, no blank, no control character. */
bool IsRecordWord(std::string_view word);
/* True when name can name a package instance: a record word without "/", not "." or "..". */
bool IsPackageName(std::string_view name);

/* The value of the first line "KEY=value" of a pkginfo text, with one pair of enclosing
 * double quotes removed; "" when there is no such line. */
std::string PkginfoValue(std::string_view text, std::string_view key);

/* ---- Files ---- */

/* Reads the whole regular file at path into *text. Returns false (errno set) when it cannot
 * be opened or read, or is not a regular file. */
bool ReadFile(const std::string &path, std::string *text);
/* The directory part of path, as dirname(1) gives it ("." for a bare name, "/" for "/x"). */
std::string DirName(const std::string &path);
/* Makes path and every missing directory above it, as mkdir -p does (mode 0777 less the
 * umask; parents also get u+wx). Returns true when path is a directory at the end. */
bool MakeDirs(const std::string &path);

/* Applies the attributes of a package map or contents record to path, following a symbolic
 * link: owner and group first (changing them clears set-id bits), then the mode. A "?" field
 * is left as it is. A directory keeps its set-id bits unless the mode sets them. Modes are
 * octal, owners and groups names or numbers. Returns false when one of them fails. */
bool ApplyAttributes(const std::string &path, const std::string &mode, const std::string &owner,
                     const std::string &group);
/* As ApplyAttributes, for a path whose lstat is *st and that is not a symbolic link: only
 * what differs from *st is changed (no call at all when nothing does). */
bool ApplyAttributesStat(const std::string &path, const struct stat &st, const std::string &mode,
                         const std::string &owner, const std::string &group);
/* Octal mode text to a mode (at most 07777). False when it is not one. */
bool ParseMode(std::string_view text, mode_t *mode);
/* User name or number to a user id: the name's entry in /etc/passwd, else a number (looked up
 * once per name). False when unknown. The tools read the file themselves: they are linked
 * statically, without the C library's name-service modules. */
bool LookupUser(const std::string &name, uid_t *uid);
/* Group name or number to a group id, from /etc/group as LookupUser does. */
bool LookupGroup(const std::string &name, gid_t *gid);
/* The id (third field) of the first line "name:x:id..." of text, the contents of /etc/passwd
 * or /etc/group; lines without a third field or whose third field is not a number below
 * 4294967295 are passed over. -1 when no line names it. */
long IdFromFile(const std::string &text, std::string_view name);

/* Opens the regular file path for reading (never waiting on a FIFO) and fills *st. Returns
 * the descriptor (the caller closes it), or -1 with errno set (EINVAL: not a regular file). */
int OpenSource(const std::string &path, struct stat *st);
/* Installs a copy of the regular file open at in (its fstat in *src) at target. A target that
 * does not exist yet is created in place, exclusively and without following a link; an
 * existing one is replaced by a new file beside it renamed over it, so a link at target is
 * replaced, not followed, and target is never seen half written. Mode, owner and group as
 * ApplyAttributes takes them; a "?" keeps what a regular file at target had, or for a new
 * file takes the source's mode less the umask and this process's owner. Returns false on any
 * failure, with target as it was (a target it created is removed again). in is not closed. */
bool InstallFileFrom(int in, const struct stat &src, const std::string &target,
                     const std::string &mode, const std::string &owner, const std::string &group);
/* InstallFileFrom with the file at path from. */
bool InstallFile(const std::string &from, const std::string &target, const std::string &mode,
                 const std::string &owner, const std::string &group);

/* ---- The contents file ---- */

/* The file's text is kept as read; the new records are kept apart and written after the old
 * lines that they do not replace, so recording a path costs no pass over the file. */
struct Contents {
  std::string dir;                                     /* <root>/var/sadm/install */
  std::string file;                                    /* <dir>/contents */
  std::string text;                                    /* the file as it was read */
  std::deque<std::string> records;                     /* recorded in this run, in order */
  std::unordered_map<std::string_view, size_t> latest; /* path -> its last record */
  int lockFd = -1;
  bool exists = false;
  mode_t mode = 0;
  uid_t uid = static_cast<uid_t>(-1);
  gid_t gid = static_cast<gid_t>(-1);
};

enum ContentsStatus {
  kContentsOk = 0,
  kContentsNoDir,   /* the database directory cannot be made or locked */
  kContentsNoWrite, /* the contents file could not be written there */
  kContentsNoRead,  /* the contents file exists but cannot be read */
};

/* The contents file's path under root ("" for /). */
std::string ContentsPath(const std::string &root);
/* Makes the database directory under root, locks it for this process and reads the contents
 * file (a missing file is an empty one). On kContentsOk the caller ends with ContentsCommit
 * or ContentsClose; on failure nothing is held. */
ContentsStatus ContentsOpen(Contents *db, const std::string &root);
/* What a tool says when ContentsOpen failed with status (the contents file's path in it). */
std::string ContentsOpenError(ContentsStatus status, const std::string &root);
/* Records a line whose first field is its path: every earlier record of that path goes, the
 * new one comes after the others. */
void ContentsPut(Contents *db, const std::string &record);
/* True when the file as read holds record as the one record of its path, byte for byte, and
 * nothing was recorded in this run: recording it again would change nothing, so a caller may
 * end with ContentsClose and leave the file untouched. Looks for the path's lines only; the
 * other records are not parsed. */
bool ContentsHolds(const Contents *db, std::string_view record);
/* Writes the records back (through a new file renamed into place, keeping the file's mode
 * and owner, or 0666 less the umask for a new file) and releases the lock. Returns false,
 * errno set and the file as it was, when the new file could not be written or renamed. */
bool ContentsCommit(Contents *db);
/* Releases the lock without writing anything. */
void ContentsClose(Contents *db);

}  // namespace svr4

#endif
