/* korlith-hold.so: lets the interpreter of a run made ahead of its key start up before the key.
 *
 * korlith-run preloads it into the interpreter of a waiting container, with the script's path in
 * KORLITH_HOLD. The interpreter loads its extensions and reads its settings as it would at any
 * start; when it opens its script (by the path it was given), that open waits: this library
 * reports on descriptor 3 that it holds there, and waits for the run's start, a count of 1 on
 * descriptor 4 (an eventfd). Then Korlith has written the script; the library closes both
 * descriptors, takes its variables out of the environment (the script, and whatever it starts,
 * see the environment as it was) and the open goes on. The interpreter starts on the cores it
 * had when it was made, whatever Korlith set meanwhile.
 *
 * Plain C and the C library alone: loaded into every waiting interpreter. */
#define _GNU_SOURCE
/* The open functions are defined here under their own names, not as the headers' wrappers. */
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kReport = 3, kGo = 4 };
/* What is reported on descriptor 3 once the open holds: no errno is this large. */
static const int kHeld = 0x4b480002;

static char *g_script;          /* the path whose open waits; NULL: nothing to hold */
static atomic_int g_done;       /* the hold is over (or there is none) */
static cpu_set_t g_cores;
static int g_coresKnown;

__attribute__((constructor)) static void holdStart(void)
{
    const char *script = getenv("KORLITH_HOLD");
    if (!script || !*script) {
        atomic_store(&g_done, 1);
        return;
    }
    g_script = strdup(script);
    g_coresKnown = sched_getaffinity(0, sizeof g_cores, &g_cores) == 0;
    if (!g_script)
        atomic_store(&g_done, 1);
}

/* The environment as it was before korlith-run added this library to it. */
static void restoreEnvironment(void)
{
    unsetenv("KORLITH_HOLD");
    const char *preload = getenv("LD_PRELOAD");
    const char *before = getenv("KORLITH_HOLD_PRELOAD");
    if (before)
        setenv("LD_PRELOAD", before, 1);
    else if (preload)
        unsetenv("LD_PRELOAD");
    unsetenv("KORLITH_HOLD_PRELOAD");
}

static void hold(const char *path)
{
    if (atomic_load(&g_done) || !path || strcmp(path, g_script) != 0)
        return;
    int expected = 0;
    if (!atomic_compare_exchange_strong(&g_done, &expected, 1))
        return;
    const int errnoBefore = errno;
    while (write(kReport, &kHeld, sizeof kHeld) < 0 && errno == EINTR) {
    }
    uint64_t go = 0;
    ssize_t n;
    while ((n = read(kGo, &go, sizeof go)) < 0 && errno == EINTR) {
    }
    /* Korlith has gone, or dropped the run: it never starts. */
    if (n != (ssize_t)sizeof go || go != 1)
        _exit(0);
    if (g_coresKnown)
        sched_setaffinity(0, sizeof g_cores, &g_cores);
    close(kGo);
    close(kReport);
    restoreEnvironment();
    free(g_script);
    g_script = NULL;
    errno = errnoBefore;
}

static void *next(const char *name)
{
    return dlsym(RTLD_NEXT, name);
}

/* Whether an open of these flags takes a mode. */
static int takesMode(int flags)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

#define KORLITH_FOPEN(name)                                                                        \
    FILE *name(const char *path, const char *mode)                                                 \
    {                                                                                              \
        static FILE *(*real)(const char *, const char *);                                          \
        if (!real)                                                                                 \
            real = (FILE * (*)(const char *, const char *)) next(#name);                           \
        if (path)                                                                                  \
            hold(path);                                                                            \
        return real(path, mode);                                                                   \
    }
KORLITH_FOPEN(fopen)
KORLITH_FOPEN(fopen64)

#define KORLITH_OPEN(name)                                                                         \
    int name(const char *path, int flags, ...)                                                     \
    {                                                                                              \
        static int (*real)(const char *, int, ...);                                                \
        if (!real)                                                                                 \
            real = (int (*)(const char *, int, ...))next(#name);                                   \
        mode_t mode = 0;                                                                           \
        if (takesMode(flags)) {                                                                    \
            va_list args;                                                                          \
            va_start(args, flags);                                                                 \
            mode = va_arg(args, mode_t);                                                           \
            va_end(args);                                                                          \
        }                                                                                          \
        hold(path);                                                                                \
        return real(path, flags, mode);                                                            \
    }
KORLITH_OPEN(open)
KORLITH_OPEN(open64)

#define KORLITH_OPENAT(name)                                                                       \
    int name(int dir, const char *path, int flags, ...)                                            \
    {                                                                                              \
        static int (*real)(int, const char *, int, ...);                                           \
        if (!real)                                                                                 \
            real = (int (*)(int, const char *, int, ...))next(#name);                              \
        mode_t mode = 0;                                                                           \
        if (takesMode(flags)) {                                                                    \
            va_list args;                                                                          \
            va_start(args, flags);                                                                 \
            mode = va_arg(args, mode_t);                                                           \
            va_end(args);                                                                          \
        }                                                                                          \
        hold(path);                                                                                \
        return real(dir, path, flags, mode);                                                       \
    }
KORLITH_OPENAT(openat)
KORLITH_OPENAT(openat64)
