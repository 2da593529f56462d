/* Internals of the message catalogue, for its tests and its fuzz target only. */
#ifndef COMMON_NLSUTILS_INTERNAL_H
#define COMMON_NLSUTILS_INTERNAL_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The normalised alias text of the length bytes at text (a NUL ends it earlier), as
 * ParseTransFile returns it. Managed. */
char *NlsNormaliseAliases(const char *text, size_t length);

/* The language that lang (a LANG value, null when unset) resolves to through the normalised
 * alias table. Managed. */
char *NlsResolveLanguage(const char *table, const char *lang);

/* The alias table kept in message 999_1 of the English core catalogue (pDrvCoreDB when set,
 * else db/en_US/CoreString.vdb). Managed, or null when there is no such catalogue or
 * message. */
char *NlsLoadFallbackAliases(void);

/* 1 when text, read as a printf format, holds a "%n" conversion. */
int NlsFormatHoldsN(const char *text);

/* Closes the English catalogues opened to stand in for untranslated messages. */
void NlsCloseEnglish(void);

/* Forgets the resolved language and the alias table (releasing them), so that the next
 * GetDesiredNLSLang resolves again, and closes the English stand-in catalogues. The
 * handles of the globals are left as they are. */
void NlsResetForTests(void);

#ifdef __cplusplus
}
#endif

#endif
