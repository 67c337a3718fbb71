/* A stand-in for a failing disk, loaded into telvar with LD_PRELOAD by the write-fault tests.
 * It touches only descriptors open on files under TELVAR_FAULT_DIR:
 *   TELVAR_FAULT_WRITE_BYTES=N   writes succeed for N bytes in all, then fail with ENOSPC
 *   TELVAR_FAULT_FSYNC=1         fsync and fdatasync fail with EIO
 *   TELVAR_FAULT_READ_BYTES=N    reads succeed for N bytes in all, then fail with EIO
 *   TELVAR_FAULT_READ_TALLY=path at the end of the process, the number of bytes read from those
 *                                descriptors is written to path (a decimal number)
 *   TELVAR_FAULT_SIGNAL_ON_CREATE=N  the first open with O_CREAT or mkdir of a path under the
 *                                folder raises signal N in the process once the call returns
 *                                (named as given: an absolute path for an absolute folder)
 * Every other descriptor and every variable left unset behaves as the C library does. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static long long budget_of(const char* name) {
  const char* text = getenv(name);
  return text != NULL && *text != '\0' ? atoll(text) : -1;
}

/* Whether fd is open on a file under TELVAR_FAULT_DIR. */
static int targeted(int fd) {
  const char* dir = getenv("TELVAR_FAULT_DIR");
  if (dir == NULL || *dir == '\0' || fd < 0) return 0;
  char link[64];
  char path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = readlink(link, path, sizeof path - 1);
  if (length <= 0) return 0;
  path[length] = '\0';
  return strncmp(path, dir, strlen(dir)) == 0;
}

static long long written;
static long long taken;

/* How many of want bytes may pass to fd now; -1 with errno set when none may. */
static ssize_t allowed(int fd, size_t want, const char* variable, long long* used, int error) {
  const long long budget = budget_of(variable);
  if (budget < 0 || !targeted(fd)) return (ssize_t)want;
  if (*used >= budget && want > 0) {
    errno = error;
    return -1;
  }
  const long long left = budget - *used;
  return (ssize_t)((long long)want < left ? (long long)want : left);
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

ssize_t write(int fd, const void* data, size_t size) {
  const ssize_t may = allowed(fd, size, "TELVAR_FAULT_WRITE_BYTES", &written, ENOSPC);
  if (may < 0) return -1;
  const ssize_t done = NEXT(write)(fd, data, (size_t)may);
  if (done > 0 && targeted(fd)) written += done;
  return done;
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  const ssize_t may = allowed(fd, size, "TELVAR_FAULT_WRITE_BYTES", &written, ENOSPC);
  if (may < 0) return -1;
  const ssize_t done = NEXT(pwrite)(fd, data, (size_t)may, offset);
  if (done > 0 && targeted(fd)) written += done;
  return done;
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t offset) {
  const ssize_t may = allowed(fd, size, "TELVAR_FAULT_WRITE_BYTES", &written, ENOSPC);
  if (may < 0) return -1;
  const ssize_t done = NEXT(pwrite64)(fd, data, (size_t)may, offset);
  if (done > 0 && targeted(fd)) written += done;
  return done;
}

ssize_t writev(int fd, const struct iovec* pieces, int count) {
  size_t size = 0;
  for (int i = 0; i < count; ++i) size += pieces[i].iov_len;
  const ssize_t may = allowed(fd, size, "TELVAR_FAULT_WRITE_BYTES", &written, ENOSPC);
  if (may < 0) return -1;
  if ((size_t)may < size) return write(fd, pieces[0].iov_base, pieces[0].iov_len);
  const ssize_t done = NEXT(writev)(fd, pieces, count);
  if (done > 0 && targeted(fd)) written += done;
  return done;
}

static int sync_fails(int fd) {
  const char* text = getenv("TELVAR_FAULT_FSYNC");
  return text != NULL && strcmp(text, "1") == 0 && targeted(fd);
}

int fsync(int fd) {
  if (sync_fails(fd)) {
    errno = EIO;
    return -1;
  }
  return NEXT(fsync)(fd);
}

int fdatasync(int fd) {
  if (sync_fails(fd)) {
    errno = EIO;
    return -1;
  }
  return NEXT(fdatasync)(fd);
}

ssize_t read(int fd, void* data, size_t size) {
  const ssize_t may = allowed(fd, size, "TELVAR_FAULT_READ_BYTES", &taken, EIO);
  if (may < 0) return -1;
  const ssize_t done = NEXT(read)(fd, data, (size_t)may);
  if (done > 0 && targeted(fd)) taken += done;
  return done;
}

ssize_t pread(int fd, void* data, size_t size, off_t offset) {
  const ssize_t may = allowed(fd, size, "TELVAR_FAULT_READ_BYTES", &taken, EIO);
  if (may < 0) return -1;
  const ssize_t done = NEXT(pread)(fd, data, (size_t)may, offset);
  if (done > 0 && targeted(fd)) taken += done;
  return done;
}

ssize_t pread64(int fd, void* data, size_t size, off64_t offset) {
  const ssize_t may = allowed(fd, size, "TELVAR_FAULT_READ_BYTES", &taken, EIO);
  if (may < 0) return -1;
  const ssize_t done = NEXT(pread64)(fd, data, (size_t)may, offset);
  if (done > 0 && targeted(fd)) taken += done;
  return done;
}

static int signalled;

/* After a call that may have created path: the signal, once, when path is under the folder. */
static void signal_on_create(const char* path) {
  const char* dir = getenv("TELVAR_FAULT_DIR");
  const char* signal_text = getenv("TELVAR_FAULT_SIGNAL_ON_CREATE");
  if (signalled || dir == NULL || *dir == '\0' || signal_text == NULL || *signal_text == '\0' || path == NULL) return;
  const size_t length = strlen(dir);
  /* The folder itself, named without its closing slash, counts too. */
  const int inside = strncmp(path, dir, length) == 0 ||
                     (dir[length - 1] == '/' && strlen(path) == length - 1 && strncmp(path, dir, length - 1) == 0);
  if (!inside) return;
  signalled = 1;
  raise(atoi(signal_text));
}

/* The mode argument is there only with O_CREAT or O_TMPFILE (whose bits include O_DIRECTORY's,
 * so all of them are tested). */
#define OPEN_WITH_MODE(name, ...)                              \
  mode_t mode = 0;                                             \
  if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) { \
    va_list rest;                                              \
    va_start(rest, flags);                                     \
    mode = (mode_t)va_arg(rest, int);                          \
    va_end(rest);                                              \
  }                                                            \
  const int fd = NEXT(name)(__VA_ARGS__, flags, mode);         \
  if (fd >= 0 && (flags & O_CREAT)) signal_on_create(path);    \
  return fd;

int open(const char* path, int flags, ...) { OPEN_WITH_MODE(open, path) }
int open64(const char* path, int flags, ...) { OPEN_WITH_MODE(open64, path) }
int openat(int dir_fd, const char* path, int flags, ...) { OPEN_WITH_MODE(openat, dir_fd, path) }
int openat64(int dir_fd, const char* path, int flags, ...) { OPEN_WITH_MODE(openat64, dir_fd, path) }

int mkdir(const char* path, mode_t mode) {
  const int done = NEXT(mkdir)(path, mode);
  if (done == 0) signal_on_create(path);
  return done;
}

__attribute__((destructor)) static void write_read_tally(void) {
  const char* path = getenv("TELVAR_FAULT_READ_TALLY");
  if (path == NULL || *path == '\0') return;
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  char text[32];
  const int length = snprintf(text, sizeof text, "%lld\n", taken);
  if (length > 0) (void)NEXT(write)(fd, text, (size_t)length);
  close(fd);
}
