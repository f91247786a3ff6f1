/* A FUSE file system for the end-to-end tests, as a user who may mount one
 * could make it. HOSTILE_MODE picks what it does:
 *   link   its root holds "lnk", a symbolic link that claims to be root's
 *          and leads to HOSTILE_TARGET, and "a.log", an empty file;
 *   hang   it never answers a question about a file (the request stays
 *          with it: not even SIGKILL ends a process that waits for it).
 * Run in the foreground, single-threaded: hostile_fs -f -s [-o allow_other] MOUNTPOINT
 */
#define FUSE_USE_VERSION 31
#include <errno.h>
#include <fuse.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int hang(void) {
  for (;;) pause();
  return -EIO;
}

static int hanging(void) {
  const char *mode = getenv("HOSTILE_MODE");
  return mode != NULL && strcmp(mode, "hang") == 0;
}

static int hostile_getattr(const char *path, struct stat *st, struct fuse_file_info *fi) {
  (void)fi;
  if (hanging()) return hang();
  memset(st, 0, sizeof *st);
  st->st_uid = 0;
  st->st_gid = 0;
  if (strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
  } else if (strcmp(path, "/lnk") == 0) {
    st->st_mode = S_IFLNK | 0777;
    st->st_nlink = 1;
    st->st_size = (off_t)strlen(getenv("HOSTILE_TARGET"));
  } else if (strcmp(path, "/a.log") == 0) {
    st->st_mode = S_IFREG | 0644;
    st->st_nlink = 1;
  } else {
    return -ENOENT;
  }
  return 0;
}

static int hostile_readlink(const char *path, char *buffer, size_t size) {
  if (hanging()) return hang();
  if (strcmp(path, "/lnk") != 0 || size == 0) return -EINVAL;
  strncpy(buffer, getenv("HOSTILE_TARGET"), size - 1);
  buffer[size - 1] = '\0';
  return 0;
}

static int hostile_readdir(const char *path, void *buffer, fuse_fill_dir_t fill, off_t offset,
                           struct fuse_file_info *fi, enum fuse_readdir_flags flags) {
  (void)offset;
  (void)fi;
  (void)flags;
  if (hanging()) return hang();
  if (strcmp(path, "/") != 0) return -ENOTDIR;
  fill(buffer, ".", NULL, 0, 0);
  fill(buffer, "..", NULL, 0, 0);
  fill(buffer, "lnk", NULL, 0, 0);
  fill(buffer, "a.log", NULL, 0, 0);
  return 0;
}

int main(int argc, char *argv[]) {
  static const struct fuse_operations operations = {
      .getattr = hostile_getattr,
      .readlink = hostile_readlink,
      .readdir = hostile_readdir,
  };
  if (getenv("HOSTILE_TARGET") == NULL) setenv("HOSTILE_TARGET", "/", 1);
  return fuse_main(argc, argv, &operations, NULL);
}
