/* Message catalogue: language resolution and numbered messages read from catalogue databases.
 *
 * A catalogue is a typed database (Dbm.h) whose records are keyed "<set>_<number>" ("%d_%d")
 * and whose values are message texts stored with their NUL. The catalogues of a language
 * live in <pToolPath>/db/<language>/<name>.vdb. The language is resolved once per run from
 * LANG through the alias file <pToolPath>/trans.conf:
 *
 *   # comment
 *   Default en_US
 *   fr_FR = fr_FR fr fr_CA fr_BE
 *      fr_CH fr_LU                   (a continuation line: more aliases of fr_FR)
 *
 * LANG is cut at its first "." (fr_CA.UTF-8 is looked up as fr_CA); a value that no alias
 * list holds resolves to the Default language ("en_US" without one).
 *
 * A message missing from the catalogue of another language is taken from the English
 * catalogue of the same name, so that untranslated texts show in English, not as keys.
 *
 * Ownership: every text returned without a caller buffer is a fresh managed string that the
 * caller releases with PutMem; a missing message comes back as its key ("25_3"), and a fetch
 * that cannot be looked up at all (no database and no full key) as "Error". Callers detect a
 * missing message by comparing the text with the key (strcmp, never the pointer).
 *
 * Catalogue texts are printf formats written by translators: they are only ever used as
 * formats with their arguments, and a text holding a "%n" conversion is refused as a format.
 *
 * Single-threaded: the module state and NlsBuf are process-wide and unguarded.
 */
#ifndef COMMON_NLSUTILS_H
#define COMMON_NLSUTILS_H

#include <stdio.h>

#include "Dbm.h"

#ifdef __cplusplus
extern "C" {
#endif

#define NLSBUF_SIZE 65535    /* NlsBuf */
#define NLS_VALUE_SIZE 2048  /* a caller buffer of NlsFetchString and CheckForRedirect */
#define NLS_REDIRECT_SIZE 64 /* redirect names are at most 63 characters */
#define NLS_ENGLISH_NAME "en_US"

/* Fetch modes of NlsFetchString. */
#define NLS_FETCH_SET 0   /* arguments: int set, int number */
#define NLS_FETCH_KEY 1   /* argument: const char *key */
#define NLS_FETCH_KEY_2 2 /* as NLS_FETCH_KEY */
#define NLS_FETCH_LONG 3  /* arguments: int set, int number; the whole value, never cut */

/* The menu item record of TextMenu.h; the converters fill its text fields. */
struct TextMenuItem;

/* ---- Globals ---- */

/* The resolved language name ("en_US"), set by the first GetDesiredNLSLang and kept for the
 * run. Managed; callers never release it. */
extern char *pNLSLang;
/* Typed-database handles (DbTOpen/NlsOpenDB) that the application opens and stores here:
 * pDrvCoreDB the core strings every converter reads (set 25: menu texts, 20 and 30: help
 * and entry texts), pPrtCoreDB a second core catalogue the library never reads, pPrtHelpDB
 * the help catalogue that redirect markers point into. The library only reads them (the
 * fallback alias table is read through a handle of its own when pDrvCoreDB is null). */
extern DbT *pDrvCoreDB;
extern DbT *pPrtCoreDB;
extern DbT *pPrtHelpDB;
/* Shared scratch for building messages; the next user overwrites it. */
extern char NlsBuf[NLSBUF_SIZE];

/* ---- Language ---- */

/* The language name resolved from LANG through trans.conf (without that file, through the
 * table in message 999_1 of pDrvCoreDB, or of db/en_US/CoreString.vdb while pDrvCoreDB is
 * null; without both, "en_US"). Resolved on the first call only; later changes of LANG or of
 * the file have no effect. Returns pNLSLang. */
char *GetDesiredNLSLang(void);

/* The normalised alias text of the file name in the tool directory: comments and runs of
 * white space removed, every word followed by one blank, every line end kept as " \n" after
 * the line's last word ("en_US = en_US en \nDefault fr_FR \n"). Managed, or null when the
 * file cannot be read or is empty. */
char *ParseTransFile(const char *name);

/* ---- Catalogues ---- */

/* Opens the catalogue name ("CoreString") of the resolved language with DbTOpen and flags.
 * A language without that catalogue gets the English one. Returns the handle (the caller
 * closes it with DbTClose), or null after "ERROR:  Could not open English database:  %s\n"
 * on standard error when the English catalogue is missing too. */
DbT *NlsOpenDB(const char *name, int flags);

/* Fetches a message of db; the arguments after mode are given by the mode (NLS_FETCH_*).
 * Modes 0-2 with a buffer (which must hold NLS_VALUE_SIZE bytes): the value, or the key when
 * the message is missing, is copied into buffer (cut to 2047 characters, always terminated)
 * and buffer is returned. Without a buffer, and always in mode 3, the result is a fresh
 * managed string: the value (modes 0-2 cut to 2047 characters, mode 3 whole) or a copy of
 * the key. Without db, modes 1 and 2 (and modes 0 and 3 with a set or number of 0) cannot
 * look anything up: the result is "Error", a fresh copy without a buffer (and in mode 3);
 * with a buffer the module's own text, which the caller must not release, and the buffer is
 * left alone. An unknown mode or a null key is handled the same way. Without db but with a
 * full key, the message is missing: the key. */
char *NlsFetchString(DbT *db, char *buffer, int mode, ...);

/* NlsFetchString with a buffer of size bytes (size > 0) in modes 0-2: the text is cut to
 * size - 1 characters and terminated. Without a buffer, or in mode 3, size is not used. */
char *NlsFetchStringN(DbT *db, char *buffer, int size, int mode, ...);

/* Message set_number of db for use as a printf format: a fresh managed string the caller
 * releases. When the message is missing, holds a "%n" conversion, or (with a signature) its
 * conversions are not a leading part of signature (see NlsFormatSignature), the result is a
 * copy of the key instead, which holds no conversion. Set or number 0 without db: "Error". */
char *NlsFetchFormat(DbT *db, int set, int number, const char *signature);

/* The argument signature of a printf format: one letter per argument it consumes, in order:
 * 'i' int (d i o u x X c, plain or with h/hh, and a '*' width or precision), 'l' long (l),
 * 'q' long long (ll), 'f' double (f F e E g G a A), 'F' long double (L with those), 's' string,
 * 'p' pointer. "%%" consumes nothing. out (size bytes, may be null) receives the letters,
 * cut to fit. Returns the number of arguments, or -1 when text holds "%n", a positional
 * argument ("%1$s"), an unknown conversion or a "%" at its end. */
int NlsFormatSignature(const char *text, char *out, int size);

/* Prints message set_number of db to stream as a format with the remaining arguments; a
 * missing message, or one holding "%n", prints "Error". Returns the characters printed. */
int Nlsfprintf(FILE *stream, DbT *db, int set, int number, ...);

/* Formats message set_number of db with the remaining arguments into dest, which holds
 * NLSBUF_SIZE bytes (cut to fit); a missing message, or one holding "%n", gives "Error".
 * Returns the characters stored. */
int Nlssprintf(char *dest, DbT *db, int set, int number, ...);

/* Nlssprintf into a dest of size bytes. */
int Nlssnprintf(char *dest, int size, DbT *db, int set, int number, ...);

/* ---- Converters (they read pDrvCoreDB) ---- */

/* Stores in *slot a managed copy of message 25_number (its key when missing) and returns
 * it. The previous *slot is not released (it is usually a literal). */
char *NlsTtyMenuCvt(char **slot, int number);

/* For i in 0..count-1, store a managed copy of message 25_<first+i>, cut to 127 characters,
 * in pLabel (pChoices, pPrompt) of items[i]. Previous texts are not released. count <= 0
 * changes nothing. Each returns items. */
struct TextMenuItem *NlsTtyMenuItemCvt(struct TextMenuItem *items, int first, int count);
struct TextMenuItem *NlsTtyMenuItemStateCvt(struct TextMenuItem *items, int first, int count);
struct TextMenuItem *NlsTtyMenuItemPromptCvt(struct TextMenuItem *items, int first, int count);

/* Copies tmpl into out (outlen bytes, cleared first, the result cut to outlen - 1 characters)
 * with its k-th "%s" (k from 1) replaced by message set_k of pDrvCoreDB (cut to 1023
 * characters; the key when missing). "%%" and every other "%" sequence are copied as they
 * are. Returns out. */
char *NlsGuiStrCvt(const char *tmpl, int set, char *out, int outlen);

/* ---- Checksum and redirects ---- */

/* The checksum text of text: W then S as "%08X%08X", where over its bytes c1, c2, ... taken
 * as signed 8-bit values S = sum ci and W = sum ci * i * i, both wrapping in 32 bits. A
 * static 17-byte buffer, valid until the next call. Null or "" gives sixteen zeros. */
char *NlsCalcStrVal(const char *text);

/* Finds a redirect marker "$$<name>.redirect" (suffix in any case) in text. Returns a pointer
 * to the name inside text after cutting text at the name's "."; null, text unchanged, when
 * text holds no marker, the name is empty or it has NLS_REDIRECT_SIZE characters or more. */
char *FindRedirect(char *text);

/* Replaces text (which must hold NLS_VALUE_SIZE bytes) by the value of record <name> of
 * pPrtHelpDB, or by the name when that record is missing, where name comes from the redirect
 * marker in text. Returns the name (static, valid until the next call), or null when text
 * holds no redirect marker. One level: a redirect in the target is not followed. */
char *CheckForRedirect(char *text);

/* CheckForRedirect into a text buffer of size bytes. */
char *CheckForRedirectN(char *text, int size);

#ifdef __cplusplus
}
#endif

#endif
