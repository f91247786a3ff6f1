/* Helper of scripts/bench.
 *
 *   bench-raw fill DIR N [L] creates DIR with N files of 100 bytes whose names
 *                            have L characters (default 14): app0000000.log,
 *                            longer ones padded with x after "app-"
 *   bench-raw delete DIR     the raw loop: readdir + unlinkat of every file, nothing else
 *   bench-raw floor DIR      the least work the tool's rules leave: readdir and a statx
 *                            of every file (its age), newest first a statx (still the
 *                            file listed?), unlinkat and one unbuffered write of the
 *                            file's line in UTF-16LE; one thread
 *   bench-raw run OUT CMD... runs CMD with its output to OUT; prints its wall
 *                            seconds, its user and its system CPU seconds, its
 *                            peak RSS in bytes (from wait4) and its status
 *
 * The raw loop is the floor the tool is measured against: the least work
 * that deletes every file of one directory.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int Fill(const char* directory, long count, int length) {
  if (length < 14 || length > 255) {
    fprintf(stderr, "name length %d: 14 to 255\n", length);
    return 1;
  }
  if (mkdir(directory, 0755) != 0 && errno != EEXIST) {
    perror(directory);
    return 1;
  }
  const int dirFd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) {
    perror(directory);
    return 1;
  }
  char content[100];
  memset(content, 'x', sizeof content);
  content[sizeof content - 1] = '\n';
  for (long i = 0; i < count; ++i) {
    /* The padding stands before the number: long names share a long prefix,
       as log names do, so comparing two costs their whole length. */
    char name[256];
    if (length == 14) {
      snprintf(name, sizeof name, "app%07ld.log", i);
    } else {
      char tail[32];
      const int tailLength = snprintf(tail, sizeof tail, "%07ld.log", i);
      memset(name, 'x', sizeof name);
      memcpy(name, "app-", 4);
      memcpy(name + length - tailLength, tail, (size_t)tailLength + 1);
    }
    const int fd = openat(dirFd, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, content, sizeof content) != (ssize_t)sizeof content) {
      perror(name);
      return 1;
    }
    close(fd);
  }
  close(dirFd);
  return 0;
}

/* The directory opened for reading, or NULL after saying why. */
static DIR* OpenListing(const char* directory) {
  DIR* dir = opendir(directory);
  if (dir == NULL) perror(directory);
  return dir;
}

static int Delete(const char* directory) {
  DIR* dir = OpenListing(directory);
  if (dir == NULL) return 1;
  const int dirFd = dirfd(dir);
  struct dirent* entry;
  while ((entry = readdir(dir)) != NULL) {
    if (entry->d_type == DT_DIR) continue;
    unlinkat(dirFd, entry->d_name, 0);
  }
  closedir(dir);
  return 0;
}

struct Listed {
  char* name;
  long long born;
};

static int NewestFirst(const void* a, const void* b) {
  const long long x = ((const struct Listed*)a)->born;
  const long long y = ((const struct Listed*)b)->born;
  return x < y ? 1 : x > y ? -1 : 0;
}

static size_t Utf16(char* out, const char* text) {
  size_t length = 0;
  for (; *text != '\0'; ++text) {
    out[length++] = *text;
    out[length++] = '\0';
  }
  return length;
}

static int Floor(const char* directory) {
  DIR* dir = OpenListing(directory);
  if (dir == NULL) return 1;
  const int dirFd = dirfd(dir);
  const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
  size_t count = 0, room = 1024;
  struct Listed* files = malloc(room * sizeof *files);
  struct dirent* entry;
  struct statx info;
  while (files != NULL && (entry = readdir(dir)) != NULL) {
    if (entry->d_type == DT_DIR ||
        statx(dirFd, entry->d_name, AT_SYMLINK_NOFOLLOW, mask, &info) != 0)
      continue;
    if (count == room) files = realloc(files, (room *= 2) * sizeof *files);
    if (files == NULL) break;
    files[count].name = strdup(entry->d_name);
    files[count++].born = info.stx_btime.tv_sec * 1000000000LL + info.stx_btime.tv_nsec;
  }
  if (files == NULL) {
    perror("memory");
    return 1;
  }
  qsort(files, count, sizeof *files, NewestFirst);
  char line[2 * 300];
  for (size_t i = 0; i < count; ++i) {
    statx(dirFd, files[i].name, AT_SYMLINK_NOFOLLOW, mask, &info);
    size_t length = Utf16(line, "Datei ");
    length += Utf16(line + length, files[i].name);
    length += Utf16(line + length, " wird geloescht. ");
    length +=
        Utf16(line + length, unlinkat(dirFd, files[i].name, 0) == 0 ? "OK!\r\n" : "Fehler!\r\n");
    if (write(STDOUT_FILENO, line, length) < 0) return 1;
  }
  closedir(dir);
  return 0;
}

/* Forked from this small process, so the peak RSS is the command's own. */
static int Run(const char* outputPath, char** command) {
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t child = fork();
  if (child < 0) {
    perror("fork");
    return 1;
  }
  if (child == 0) {
    const int output = open(outputPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int nothing = open("/dev/null", O_RDWR);
    if (output < 0 || nothing < 0) _exit(127);
    dup2(nothing, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(nothing, STDERR_FILENO);
    execvp(command[0], command);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) < 0) {
    perror("wait4");
    return 1;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  const double seconds = (double)(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
  const double user = (double)usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6;
  const double system = (double)usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  printf("%.6f %.6f %.6f %ld %d\n", seconds, user, system, usage.ru_maxrss * 1024L,
         WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return 0;
}

int main(int argc, char** argv) {
  if ((argc == 4 || argc == 5) && strcmp(argv[1], "fill") == 0)
    return Fill(argv[2], atol(argv[3]), argc == 5 ? atoi(argv[4]) : 14);
  if (argc == 3 && strcmp(argv[1], "delete") == 0) return Delete(argv[2]);
  if (argc == 3 && strcmp(argv[1], "floor") == 0) return Floor(argv[2]);
  if (argc >= 4 && strcmp(argv[1], "run") == 0) return Run(argv[2], argv + 3);
  fprintf(stderr, "usage: %s fill DIR N [L] | delete DIR | floor DIR | run OUT CMD...\n", argv[0]);
  return 2;
}
