/* Preloaded into the tool by the read-failure tests: a read of the file named
 * by VK_FAIL_READ ("PATH:N") fails with EIO once N bytes of it have been read,
 * as on failing storage or a network file system. All else passes through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static FILE* failing;
static size_t left;
static int failed;

/* The byte count after which reads of `path` fail, or -1 for other files. */
static long long limitFor(const char* path) {
    const char* spec = getenv("VK_FAIL_READ");
    const char* colon = spec != NULL ? strrchr(spec, ':') : NULL;
    if (colon == NULL) return -1;
    const size_t length = (size_t)(colon - spec);
    if (strncmp(spec, path, length) != 0 || path[length] != '\0') return -1;
    return atoll(colon + 1);
}

static FILE* opened(FILE* file, const char* path, const char* mode) {
    const long long limit = limitFor(path);
    if (file != NULL && mode[0] == 'r' && limit >= 0) {
        failing = file;
        left = (size_t)limit;
        failed = 0;
    }
    return file;
}

FILE* fopen(const char* path, const char* mode) {
    FILE* (*next)(const char*, const char*) = (FILE * (*)(const char*, const char*)) dlsym(RTLD_NEXT, "fopen");
    return opened(next(path, mode), path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
    FILE* (*next)(const char*, const char*) = (FILE * (*)(const char*, const char*)) dlsym(RTLD_NEXT, "fopen64");
    return opened(next(path, mode), path, mode);
}

size_t fread(void* buffer, size_t size, size_t count, FILE* file) {
    size_t (*next)(void*, size_t, size_t, FILE*) =
        (size_t(*)(void*, size_t, size_t, FILE*))dlsym(RTLD_NEXT, "fread");
    if (file != failing || size != 1) return next(buffer, size, count, file);
    int cut = 0;
    if (count >= left) {
        count = left;
        cut = 1;
    }
    const size_t got = count > 0 ? next(buffer, 1, count, file) : 0;
    left -= got;
    if (cut) {
        failed = 1;
        errno = EIO;
    }
    return got;
}

/* Streams of the C++ library read the descriptor under their FILE directly. */
ssize_t read(int fd, void* buffer, size_t count) {
    ssize_t (*next)(int, void*, size_t) = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
    if (failing == NULL || fd != fileno(failing)) return next(fd, buffer, count);
    if (left == 0) {
        failed = 1;
        errno = EIO;
        return -1;
    }
    const ssize_t got = next(fd, buffer, count < left ? count : left);
    if (got > 0) left -= (size_t)got;
    return got;
}

int ferror(FILE* file) {
    int (*next)(FILE*) = (int (*)(FILE*))dlsym(RTLD_NEXT, "ferror");
    return (file == failing && failed) || next(file);
}

int fclose(FILE* file) {
    int (*next)(FILE*) = (int (*)(FILE*))dlsym(RTLD_NEXT, "fclose");
    if (file == failing) failing = NULL;
    return next(file);
}
