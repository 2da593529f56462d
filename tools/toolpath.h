/* Where the tools built on the library find their data: the message catalogues (db/), the
 * language alias file (trans.conf) and the help pages (help/).
 *
 * In the build tree they lie beside the programs. Installed, the programs go to bin/ and the
 * data to share/orvelvp/, TOOL_DATA_DIR relative to the programs' directory.
 */
#ifndef TOOLS_TOOLPATH_H
#define TOOLS_TOOLPATH_H

#ifdef __cplusplus
extern "C" {
#endif

/* Sets pToolPath (utils.h) for the program started as argv0 and returns it (managed): the
 * program's own directory when it holds db/, else "<that directory>/TOOL_DATA_DIR" when that
 * holds db/, else the program's own directory. Null when the directory cannot be had. */
char *SetToolDataPath(const char *argv0);

#ifdef __cplusplus
}
#endif

#endif
