/* Preloaded into the program under test: its wall clock (CLOCK_REALTIME and what reads it)
 * runs WALLCLOCK_SHIFT_FILE's number of seconds ahead of the machine's. The benchmark rewrites
 * that file to move the program into its next day, as a resume from sleep or a clock set by
 * hand would; the monotonic clocks, and so every timer, are left alone. The file is looked at
 * no more than five times a second, so the clock stays a cheap call. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

typedef int (*clock_gettime_fn)(clockid_t, struct timespec *);

static _Atomic(clock_gettime_fn) real_clock_gettime;
static _Atomic long long shift_ns;
static _Atomic long long next_look_ns;

static clock_gettime_fn real(void)
{
    clock_gettime_fn fn = atomic_load(&real_clock_gettime);
    if (!fn) {
        fn = (clock_gettime_fn)dlsym(RTLD_NEXT, "clock_gettime");
        atomic_store(&real_clock_gettime, fn);
    }
    return fn;
}

static long long read_shift_ns(const char *path, long long previous)
{
    char text[64];
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return previous;
    ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0)
        return previous;
    text[n] = '\0';
    char *end = NULL;
    double seconds = strtod(text, &end);
    if (end == text)
        return previous;
    return (long long)(seconds * 1e9);
}

static long long current_shift_ns(void)
{
    struct timespec mono;
    real()(CLOCK_MONOTONIC, &mono);
    long long now = mono.tv_sec * 1000000000LL + mono.tv_nsec;
    long long due = atomic_load(&next_look_ns);
    if (now >= due && atomic_compare_exchange_strong(&next_look_ns, &due, now + 200000000LL)) {
        const char *path = getenv("WALLCLOCK_SHIFT_FILE");
        if (path)
            atomic_store(&shift_ns, read_shift_ns(path, atomic_load(&shift_ns)));
    }
    return atomic_load(&shift_ns);
}

static void add_ns(struct timespec *ts, long long ns)
{
    long long total = ts->tv_nsec + ns % 1000000000LL;
    ts->tv_sec += ns / 1000000000LL + total / 1000000000LL;
    total %= 1000000000LL;
    if (total < 0) {
        total += 1000000000LL;
        ts->tv_sec -= 1;
    }
    ts->tv_nsec = total;
}

int clock_gettime(clockid_t id, struct timespec *ts)
{
    int r = real()(id, ts);
    if (r == 0 && (id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE))
        add_ns(ts, current_shift_ns());
    return r;
}

int gettimeofday(struct timeval *restrict tv, void *restrict tz)
{
    (void)tz;
    struct timespec ts;
    int r = clock_gettime(CLOCK_REALTIME, &ts);
    if (r == 0) {
        tv->tv_sec = ts.tv_sec;
        tv->tv_usec = ts.tv_nsec / 1000;
    }
    return r;
}

time_t time(time_t *out)
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    if (out)
        *out = ts.tv_sec;
    return ts.tv_sec;
}
