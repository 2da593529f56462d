/* Text menu engine: numbered terminal menus with typed items.
 *
 * The installer meets the engine only through flExitTextMenu, which ends every running
 * menu when set.
 */
#ifndef COMMON_TEXTMENU_H
#define COMMON_TEXTMENU_H

#ifdef __cplusplus
extern "C" {
#endif

extern char flExitTextMenu; /* 1: every running menu ends at its next step */

#ifdef __cplusplus
}
#endif

#endif
