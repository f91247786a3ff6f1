/* A FUSE file system as a user who may mount one could make it, for the
 * end-to-end tests. HOSTILE_MODE=link: its root holds "a.log" and "lnk", a
 * symbolic link that claims to be root's and leads to HOSTILE_TARGET.
 * HOSTILE_MODE=hang: it never answers a question about a file, so a process
 * that asks one waits for good (not even SIGKILL ends the wait).
 * Usage: hostile_fs -f -s [-o allow_other] MOUNTPOINT */
#define FUSE_USE_VERSION 31
#include <errno.h>
#include <fuse.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void answer(void) {
  while (strcmp(getenv("HOSTILE_MODE"), "hang") == 0) pause();
}

static int get_attributes(const char *path, struct stat *st, struct fuse_file_info *fi) {
  (void)fi;
  answer();
  memset(st, 0, sizeof *st); /* owned by root */
  st->st_nlink = 1;
  if (strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0755;
  } else if (strcmp(path, "/lnk") == 0) {
    st->st_mode = S_IFLNK | 0777;
    st->st_size = (off_t)strlen(getenv("HOSTILE_TARGET"));
  } else if (strcmp(path, "/a.log") == 0) {
    st->st_mode = S_IFREG | 0644;
  } else {
    return -ENOENT;
  }
  return 0;
}

static int read_link(const char *path, char *buffer, size_t size) {
  answer();
  if (strcmp(path, "/lnk") != 0 || size == 0) return -EINVAL;
  strncpy(buffer, getenv("HOSTILE_TARGET"), size - 1);
  buffer[size - 1] = '\0';
  return 0;
}

static int read_directory(const char *path, void *buffer, fuse_fill_dir_t fill, off_t offset,
                          struct fuse_file_info *fi, enum fuse_readdir_flags flags) {
  (void)path, (void)offset, (void)fi, (void)flags;
  answer();
  const char *names[] = {".", "..", "lnk", "a.log"};
  for (size_t i = 0; i < sizeof names / sizeof *names; ++i) fill(buffer, names[i], NULL, 0, 0);
  return 0;
}

int main(int argc, char *argv[]) {
  static const struct fuse_operations operations = {
      .getattr = get_attributes, .readlink = read_link, .readdir = read_directory};
  if (getenv("HOSTILE_MODE") == NULL || getenv("HOSTILE_TARGET") == NULL) return 2;
  return fuse_main(argc, argv, &operations, NULL);
}
