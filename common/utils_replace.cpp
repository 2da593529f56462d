/* Replacing a file through a copy, with system calls only: no shell ever sees a file name.
 *
 * The copy is always created new. Whatever stands at its name (a stale copy, a planted
 * symbolic link) is removed first and never followed; O_EXCL|O_NOFOLLOW then refuses a name
 * that reappeared in between. The copy takes its final mode before any data is written, and
 * is renamed over the target only after every write, the sync and the close succeeded, so a
 * failure never leaves a short file in the target's place.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "utils.h"

FILE *OpenReplacement(const char *copy, int mode, int owner, int group) {
  if (!copy || !*copy) {
    errno = ENOENT;
    return nullptr;
  }
  if (unlink(copy) != 0 && errno != ENOENT) return nullptr;
  int fd = open(copy, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  /* The owner first (best effort: only root may give a file away, and a copy that keeps its
   * creator is still a sound copy), then the mode, exactly, whatever the umask: a change of
   * owner clears the set-user-ID and set-group-ID bits. */
  if ((owner >= 0 || group >= 0) &&
      fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group)) != 0) {
    errno = 0; /* not permitted: the copy keeps its creator */
  }
  if (fchmod(fd, static_cast<mode_t>(mode) & 07777) != 0) {
    int err = errno;
    close(fd);
    unlink(copy);
    errno = err;
    return nullptr;
  }
  FILE *fp = fdopen(fd, "w");
  if (!fp) {
    int err = errno;
    close(fd);
    unlink(copy);
    errno = err;
  }
  return fp;
}

int CommitReplacement(FILE *fp, const char *copy, const char *target) {
  if (!fp) return 0;
  bool ok = !ferror(fp) && fflush(fp) == 0 && fsync(fileno(fp)) == 0;
  int err = errno;
  if (fclose(fp) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(copy, target) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(copy);
    errno = err;
  }
  return ok ? 1 : 0;
}

void AbortReplacement(FILE *fp, const char *copy) {
  int err = errno;
  if (fp) fclose(fp);
  if (copy) unlink(copy);
  errno = err;
}
