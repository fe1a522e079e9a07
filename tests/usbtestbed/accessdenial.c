/* Preloaded before umockdev's own library: refuses with EACCES the opening of the emulated USB
 * device nodes listed in "denied-nodes" of the test-bed's folder, as the kernel does for a user
 * without the udev rule. A file the test-bed rewrites, so that a test process and the programs it
 * starts see the same list; read only for paths under /dev/bus/usb. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int denied(const char *path)
{
    if (!path || strncmp(path, "/dev/bus/usb/", 13) != 0)
        return 0;
    const char *root = getenv("UMOCKDEV_DIR");
    if (!root)
        return 0;
    char list[4096];
    snprintf(list, sizeof list, "%s/denied-nodes", root);
    FILE *file = fopen(list, "r");
    if (!file)
        return 0;
    char line[256];
    int found = 0;
    while (!found && fgets(line, sizeof line, file)) {
        line[strcspn(line, "\n")] = '\0';
        found = strcmp(line, path) == 0;
    }
    fclose(file);
    return found;
}

#define FORWARD(name)                                                                              \
    int name(const char *path, int flags, ...)                                                     \
    {                                                                                              \
        mode_t mode = 0;                                                                           \
        if (flags & (O_CREAT | O_TMPFILE)) {                                                       \
            va_list arguments;                                                                     \
            va_start(arguments, flags);                                                            \
            mode = va_arg(arguments, mode_t);                                                      \
            va_end(arguments);                                                                     \
        }                                                                                          \
        if (denied(path)) {                                                                        \
            errno = EACCES;                                                                        \
            return -1;                                                                             \
        }                                                                                          \
        static int (*next)(const char *, int, ...);                                                \
        if (!next)                                                                                 \
            next = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, #name);                       \
        return next(path, flags, mode);                                                            \
    }

FORWARD(open)
FORWARD(open64)

int __open_2(const char *path, int flags)
{
    return open(path, flags);
}

int __open64_2(const char *path, int flags)
{
    return open64(path, flags);
}
