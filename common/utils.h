/* Utility library: managed strings, the shared tokenizer, keyword lists, paths, files and
 * directories, the log and the fatal-error calls.
 *
 * Ownership: strings returned by SaveStr*, GetEnv, GetToolPath, GetDirFileList and the other
 * functions documented as "managed" come from GetMem and belong to the caller (PutMem).
 * GetToken, StripPath, StripFn and FileSearch return static buffers that the next call of
 * the same function overwrites. LineBuf and Line are shared scratch buffers.
 *
 * A keyword list is a string whose first character is its delimiter: ",a,b,c," or " a b c ".
 */
#ifndef COMMON_UTILS_H
#define COMMON_UTILS_H

#include <dirent.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define UTILS_PRINTF(f, a) __attribute__((format(printf, f, a)))
#define UTILS_NORETURN __attribute__((noreturn))
#else
#define UTILS_PRINTF(f, a)
#define UTILS_NORETURN
#endif

#define LINEBUF_SIZE 4096
#define LINE_SIZE 262143
#define TOKEN_SIZE 128

/* ---- Shared globals ---- */

extern char *my_name;              /* program name: names the log and prefixes messages */
extern char LineBuf[LINEBUF_SIZE]; /* small files read whole; the line reader's current line */
extern char Line[LINE_SIZE];       /* scratch for messages and query results */
/* Directory of the running tool, set once by each program from GetToolPath(argv[0]); the
 * database, the catalogue and the help find their files under it. Null is read as ".". */
extern char *pToolPath;

/* ---- Strings in managed memory ---- */

/* The formatted text as a new managed string of exactly its length + 1. Out of memory is
 * fatal ("Unable to allocate memory", status 1). */
char *SaveStr(const char *fmt, ...) UTILS_PRINTF(1, 2);
/* A managed verbatim copy of src. */
char *SaveStr_(const char *src);
/* Like SaveStr, formatted through a 65535-byte scratch; null when fmt is null. */
char *SaveStr__(const char *fmt, ...) UTILS_PRINTF(1, 2);
/* Where a shell word goes: a line the shell reads as it stands (system(), popen(), the text of
 * a script), or an argument of a SysCmd table row, which runs inside the double quotes of
 * '<sh> -c "<command> <arguments>"'. */
#define QUOTE_SHELL 0
#define QUOTE_SYSCMD 1
/* text as one shell word for place, as a new managed string: in single quotes, each '
 * written '\''; for QUOTE_SYSCMD also \ " $ ` escaped for the outer double quotes. The
 * command gets exactly text, whatever it holds (a blank, a quote, "$(...)"). */
char *QuoteWord(const char *text, int place);
/* "\n<my_name>: <message> : <system error text>\n" on standard error, then exit(1). */
void SysError(const char *fmt, ...) UTILS_PRINTF(1, 2) UTILS_NORETURN;

/* ---- The shared tokenizer (one scan at a time for the whole program) ---- */

extern char *szIn;                     /* scan position in the text being tokenized */
extern char *szTokenIn;                /* copy of szIn taken when a token call finishes */
extern char GetTokenBuf[TOKEN_SIZE];   /* the last token of GetToken (at most 127 characters) */
extern char chTokenDel;                /* delimiter that ended the last token; 0 at the end */
#define TOKEN_LINE_MODE ((const char *)-1) /* GetToken text: continue the scan in line mode */

/* Next token copied into GetTokenBuf, or null at the end. text starts a new scan, null
 * continues it, TOKEN_LINE_MODE continues it in line mode (a newline ending a token gives
 * null). A backslash escapes the next character ("\n", "\r", "\t" are translated). */
char *GetToken(const char *text, const char *delims);
/* The n-th token (1-based; n <= 1 gives the first) of text, or null. */
char *GetTokenN(const char *text, const char *delims, int n);
/* Like GetToken but in place: the delimiter after the token becomes a NUL; returns a pointer
 * into text. */
char *GetTokenParse(char *text, const char *delims);
/* Number of tokens GetToken would return for text; a scan in progress is left untouched. */
int GetTokenCount(const char *text, const char *delims);
/* Positions the scan at text without reading; returns text. */
char *SetTokenBuf(char *text);
/* The current scan position. */
char *GetTokenBufInput(void);

/* ---- Keyword lists and searching ---- */

/* 1-based position of word in the keyword list, 0 when absent or an argument is null. */
unsigned FindToken(const char *word, const char *list);
/* First occurrence of pattern in text; null when absent, when an argument is null and when
 * pattern is empty. */
char *StrStr(const char *text, const char *pattern);
/* The larger of a and b (b when equal). */
double MaxD(double a, double b);

/* Reads one line of standard input into buf (len bytes with the NUL); the newline is not
 * kept. Returns buf, or null when nothing was read before end of input or a 0xFF byte. */
char *Gets(char *buf, int len);

/* ---- String toolkit: own-state tokenizer, lists, searches, trimmers, filters, units ---- */

/* The next token by GetToken's rules, with the scan position in the caller's *cursor and
 * the token written to out, which must hold TOKEN_SIZE (128) bytes: longer tokens are cut at
 * 127 characters. text starts a new scan, null continues at *cursor, TOKEN_LINE_MODE
 * continues in line mode: there a token ended by a newline gives null and leaves *cursor
 * where it was (out holds the token; a normal call then returns it). Sets the shared
 * chTokenDel. Returns out, or null at the end or when cursor or out is null. */
char *GetTokenD(const char *text, const char *delims, char **cursor, char *out);
/* Splits text in place into at most max tokens (each ended by a NUL over its delimiter) and
 * stores pointers to them in fields, whose first max entries are cleared first. Text after
 * the max-th token is untouched. Returns how many were stored; 0 for null arguments. */
int ParseStr(char *text, const char *delims, char **fields, int max);
/* FindToken without regard to (ASCII) case; an empty word is never found. */
unsigned FindTokenC(const char *word, const char *list);
/* 1-based position of word among the elements of list separated by delim (a leading delim
 * makes an empty first element; a final delim closes the last one); 0 when absent or an
 * argument is null. */
unsigned FindTokenWithDelim(const char *list, const char *word, char delim);
/* Sorts the elements of list in place, stably; an element ends at the next delim not
 * escaped by a backslash. Elements compare as if each were followed by delim (so "ab" comes
 * before "abc"), without regard to ASCII case when nocase is non-zero. The delimiters keep
 * their places, so the text never grows: ' pear apple fig' gives ' apple fig pear'. Returns
 * list; null for a null list or when memory runs out (list unchanged). */
char *SortTokens(char *list, char delim, int nocase);

/* First c in text that is not escaped by a backslash, or null. */
char *StrChr(const char *text, char c);
/* The n-th (1-based) c in text, or null (also for n < 1). */
char *StrNChr(const char *text, char c, int n);
/* The n-th (1-based) occurrence of pattern in text, overlaps counted; null when there is
 * none, for n < 1, and for a null or empty text or pattern. */
char *StrNStr(const char *text, const char *pattern, int n);
/* StrStr without regard to (ASCII) case; null for null arguments or an empty pattern. */
char *StrCaseStr(const char *text, const char *pattern);
/* Length of text; 0 for null. */
int StrLen(const char *text);
/* text past blanks, tabs, newlines, vertical tabs, form feeds and carriage returns; null
 * stays null. */
char *SkipSpace(const char *text);

/* The trimmers return a static 128-byte buffer that the next call overwrites; a result
 * longer than 127 characters gives "" (never a cut name). */
/* name cut at its first '.' after its leading dots ('..x.y' gives '..x'); "" for null. */
char *StripExt(const char *name);
/* The last '/' component of path, cut as by StripExt; "" for a null path, null for an
 * empty path or one of slashes only. */
char *StripPathExt(const char *path);
/* The first '/'-delimited piece of path, replaced by each following '.'-delimited piece of
 * the rest up to one whose second character is '/': 'dir/name.ext' gives 'ext',
 * '../dir/file' 'dir/file', './x/y' '.'. "" for null, "." and "..". Pieces follow the
 * tokenizer's rules; the shared scan is not touched. */
char *StripPathName(const char *path);
/* Removes every backslash of text in place; returns text. */
char *StripAllBackslashes(char *text);
/* Removes in place every character but ASCII letters, digits, punctuation and the blank;
 * with keepnl non-zero newlines and carriage returns stay too. Returns text (null stays). */
char *StripNonPrint(char *text, int keepnl);

/* Copies len bytes of src to dst, reversed when (reverse & 0xff) is non-zero, as if src
 * were read whole first (so a field may be swapped in place). Returns dst. */
void *SetVarContent(void *dst, const void *src, int len, int reverse);
/* value converted between length units 0 inches, 1 centimetres, 2 points (2.54 cm and 72
 * points to the inch, computed in double); any other pair gives value unchanged. */
float CvtFloatFormat(double value, int from, int to);

/* ---- Paths ---- */

char *StripPath(const char *path);     /* last name of path; static 128-byte buffer */
char *StripFn(const char *path);       /* directory part of path, "." when none; static 256 */
char *GetToolPath(const char *argv0);  /* managed: absolute directory holding the program */
char *GetEnv(const char *name);        /* managed copy of the variable, null when unset */

/* ---- Files and directories ---- */

#define FT_NONE 0    /* GetFileType: missing or cannot be examined */
#define FT_DIR 1     /* directory */
#define FT_LINK 2    /* symbolic link (the link itself) */
#define FT_OTHER 3   /* anything else */

char *ReadDir(DIR *dir);                /* name of the next entry, null at the end */
/* Managed listing " . .. a b " of dir in directory order, null when it cannot be opened. */
char *GetDirFileList(const char *dir);
/* 1 when entry name exists in dir (looked up in the parent's listing, not with stat).
 * A null dir takes name as the whole path; a null or empty name splits dir. */
int FindFile(const char *dir, const char *name);
int GetFileType(const char *path);
/* Makes sure directory path exists (mkdir -p), creates an empty file in it when file is
 * given, then applies mode, owner and group. Any failing command ends the run. Returns path. */
const char *CreateFile(const char *path, const char *file, const char *mode, const char *owner,
                       const char *group);
/* Removes dir/name (dir itself when name is null) with rm -rf when it exists. Returns dir. */
const char *DeleteFile(const char *dir, const char *name);

/* ---- Whole-file reads, line reader, opening ---- */

extern int LineLen;             /* LineBuf length before the last physical line appended */
extern FILE *pIn;               /* the line reader's open file, null when none */
extern FILE *pOut;              /* output stream of the menu settings and the line editor */
extern char InputFileName[256]; /* path last passed to OpenInputFile */
extern int FileStatus;          /* line reader: 0 open, 1 closed, 2 the last open failed */
extern int SavedFileSize;       /* size of the file last loaded by GetSavedFileContent */
extern int LineCut;             /* 1 when the last GetFileLine line did not fit and was cut */

/* Error policy of the open functions: 0 silent, 1 message and failure, 2 fatal. */
#define REPORT_SILENT 0
#define REPORT_WARN 1
#define REPORT_FATAL 2

int GetFileContent(const char *dir, const char *name);   /* into LineBuf, at most 4095 bytes */
int GetFileContentR(const char *dir, const char *name, char *buf, int size);
char *GetSavedFileContent(const char *dir, const char *name); /* managed; sets SavedFileSize */

int OpenInputFile(const char *path, int report);
int OpenInputFileF(int report, const char *fmt, ...) UTILS_PRINTF(2, 3);
int GetFileLine(void);                 /* next logical line (backslash continuation) */
int GetFileTextLine(const char *delims); /* next non-comment line, first token only */
int CloseInputFile(int x);

FILE *OpenFile(FILE *old, const char *path, const char *mode, int report);
FILE *OpenFileF(FILE *old, const char *mode, int report, const char *fmt, ...)
    UTILS_PRINTF(4, 5);
int OpenRawFile(const char *path, int flags);
int CreateTextFile(const char *path, const char *mode, int perm, const char *fmt, ...)
    UTILS_PRINTF(4, 5);
char *FileSearch(const char *path, const char *pattern, int report); /* static 512 bytes */

int FindFile_(const char *dir, const char *name); /* existence by stat */
int GetFileSize(const char *path);
int GetFileTime(const char *path);
char *FindExistingPath(const char *path, int *exists); /* managed */
char *SearchDirFileList(const char *dir, const char *ext);    /* managed listing or null */
const char *DeleteFile_(const char *path, const char *name);
void RenameFile(const char *dir, const char *name, const char *newname);

/* ---- Editing text files in place ---- */

/* Every editor edits file + "." + ext ("%s.%s"), or file itself when ext is null or empty,
 * writing a copy named "%s.%sout" ("%s.out" for an empty ext) beside it, which then replaces
 * the edited file by rename(2): no shell runs, a link or stale file at the copy's name is
 * removed and never followed, and the file keeps its mode, owner and group (an edited name
 * that is a symbolic link becomes a regular file). Lines are read whole, of any length, and
 * copied byte for byte where nothing is edited (CRLF ends, NUL bytes, a last line without
 * newline). A null or empty pattern never matches. A file that is not a regular file or
 * cannot be opened or read, or a name of 128 bytes or more, ends the program through SysError
 * ("can't open file, %s", status 1); so does a failed write ("can't write file, %s"), which
 * leaves the edited file as it was. Editors working on one file at the same time are not
 * supported. Each editor returns file, except FileDelFormat. */

/* Replaces the first occurrence of pattern in every line by replacement (null: empty). */
const char *FileChange(const char *file, const char *ext, const char *pattern,
                       const char *replacement);
/* Replaces every byte whose code is the number in code ("%i": decimal, 0 octal, 0x hex) by the
 * bytes listed in codes ("%i" numbers separated by commas, at most 130; an item that is not a
 * number in 1..255 ends the list; null deletes the byte). A code that is not a number in
 * 0..255 names no byte: the file is not touched. */
const char *FileChangeChar(const char *file, const char *ext, const char *code, const char *codes);
/* Removes the first occurrence of pattern from every line holding it, except the first n of
 * those lines, which are copied unchanged. */
const char *FileDel(const char *file, const char *ext, int n, const char *pattern);
/* One deletion chosen by the first character of how, P being the first occurrence of pattern
 * in a line: "" or null removes P; "a" keeps the line up to the end of P and ends it with "\n";
 * "b" drops the text before P; "c" removes every byte whose code pattern gives ("%i"; nothing
 * when it is not a number in 0..255); "l" drops the lines holding P. Lines without P are
 * copied. Returns 0, or 1 for any other mode, which opens and changes nothing. */
int FileDelFormat(const char *file, const char *ext, const char *how, const char *pattern);
/* Writes text before every line. "%s<digits>" in text (removed) starts the line counter I at
 * that number (0 by default); "%#<N>" numbers the insertions: nothing before lines with I < N,
 * the marker written as "%05i" of I - N before the others. I counts the file's lines. Only the
 * first 4095 bytes of text are used; text is never written to nor used as a printf format. */
const char *FileInsert(const char *file, const char *ext, const char *text);
/* As FileInsert, but only the lines holding pattern get the text and advance the counter. */
const char *FileSearchInsert(const char *file, const char *ext, const char *text,
                             const char *pattern);
/* Drops the lines holding pattern, except the first n of them. */
const char *FileDelLine(const char *file, const char *ext, int n, const char *pattern);
/* Unwraps start/end blocks: after the first n lines holding start (copied), each line holding
 * start is dropped and opens a level; a line holding end while a level is open is dropped and
 * closes one. Every other line is copied. */
const char *FileDelLinePair(const char *file, const char *ext, int n, const char *start,
                            const char *end);

/* The stream pair: a caller walks Fn line by line through pIn and writes what it keeps to
 * pOut; ReplaceInputFile then puts the copy FnOut in place of Fn. */
extern char Fn[128];            /* file being walked: "%s.%s" of file and ext, or file */
extern char FnOut[128];         /* its copy: "%sout" of Fn (no dot: "fout" for "f") */
extern char *pLine;             /* points at Line after GetLine */
extern int LineCnt;             /* physical lines the last GetLine consumed */
extern long InPos;              /* offset where the last line GetLine returned began */
extern char flInputFilterState; /* 1 (default): GetLine strips comments; 0: raw lines */

/* Opens Fn into pIn (closing what pIn held; FileStatus becomes 1 when it held a file) and a
 * fresh copy FnOut into pOut with Fn's mode, owner and group, as the editors do. A copy still
 * open from an earlier pair is removed. Failures end the program ("can't open file, %s").
 * Returns file. */
const char *OpenIOFiles(const char *file, const char *ext);
/* Reads the next logical line of pIn into Line (the first 512 bytes, NUL-padded): physical
 * lines of at most 510 characters each. With flInputFilterState set, leading white space and
 * "//" comments are dropped, block comments are removed whatever number of lines they span
 * (an unclosed one stays open into the next call; lines wholly inside are consumed) and the
 * line ends at its first newline or carriage return; raw lines keep their newline. Returns
 * the physical lines consumed (LineCnt), 0 at end of file. */
int GetLine(void);
/* Calls GetLine count times; returns the last result (0 when count < 1 or at end of file). */
int GetLineN(int count);
/* Seeks pIn to offset and calls GetLine. At the InPos of a line returned since OpenIOFiles, a
 * block comment open there is open again; any other offset starts outside a comment. */
int GetLinePos(long offset);
/* Seeks stream to offset and reads one line into buf with fgets; fgets's result, or null. */
char *fgetsp(char *buf, int size, FILE *stream, long offset);
/* Closes pIn and pOut (both null afterwards) and renames FnOut over Fn. A read error on pIn or
 * a failed write ends the program with the copy removed and Fn untouched. Without an open
 * pair it does nothing. Returns x. */
int ReplaceInputFile(int x);

/* An identifier from the words of text: leading non-letters skipped, each run of ASCII
 * letters and digits lower-cased with its first character raised ("print queue-2 setup" gives
 * "PrintQueue2Setup"), at most 127 characters, in a static 128-byte buffer. */
char *GenName(const char *text);

/* ---- Replacing a file through a copy (no shell involved) ---- */

/* Creates copy afresh for writing: whatever is at its name (a stale copy, a symbolic link) is
 * removed first, never followed. The file gets exactly mode (the umask does not apply) and,
 * when owner or group is not -1, that owner and group where permitted. Returns the stream, or
 * null with errno set. */
FILE *OpenReplacement(const char *copy, int mode, int owner, int group);
/* Flushes, syncs and closes fp, then renames copy over target. Returns 1 on success; on any
 * failure the copy is removed, target is left as it was, errno tells why and 0 is returned. */
int CommitReplacement(FILE *fp, const char *copy, const char *target);
/* Closes fp (when not null) and removes copy; errno is kept. */
void AbortReplacement(FILE *fp, const char *copy);

/* ---- Host probes ---- */

int SniffLprng(void);
int SniffCUPS(void);
char *GetUserName(void); /* managed */
char *GetHostname(void); /* managed or null */

/* ---- Log and errors ---- */

extern char flUseLog; /* logging is off until a program sets this */
extern char *pLogPath; /* log directory, always "/tmp" */
extern FILE *pLog;     /* the log stream while one message is written */

/* Appends the formatted text to /tmp/<my_name>.log; the first message of a run truncates. */
void PutLogMsg(const char *fmt, ...) UTILS_PRINTF(1, 2);
/* 1 when /tmp/<my_name>.log is absent or a regular file (not a link): only then may the log,
 * or a command's output, be written to it. */
int LogIsSafe(void);
/* Formats into Line; level 1 prints "WARNING: ..." and returns 1, level 2 prints
 * "ERROR: ..." and exits with status, other levels return the level silently. */
int ErrorMsg(int level, int status, const char *fmt, ...) UTILS_PRINTF(3, 4);
/* "<my_name>: <message>\n" on standard error. */
void errormsg(const char *fmt, ...) UTILS_PRINTF(1, 2);
void exit_app(int status) UTILS_NORETURN;

#ifdef __cplusplus
}
#endif

#endif
