// korlith-run: starts the interpreter of one preview run, in one of two roles.
//
// korlith-run --exec PROGRAM ARGV0 [ARGS...]
//   Inside the run's container, whose kernel namespace ends everything with the run: reports
//   that the container stands and starts the interpreter as its child; after its end, reports
//   what it cost and ends with its exit status.
// korlith-run --wait --exec PROGRAM ARGV0 [ARGS...]
//   The same in a container made ahead of its run: reports that the container stands (a 0 on
//   descriptor 3), then waits for the run's start: a count of 1 on descriptor 4, an eventfd.
//   It starts on the cores it had when it was made, whatever Korlith set meanwhile. A container
//   never started is ended by Korlith, or by the kernel with Korlith.
// korlith-run --wait --hold SCRIPT --exec PROGRAM ARGV0 [ARGS...]
//   The same, but the interpreter starts up at once and waits at the open of SCRIPT, through
//   korlith-hold.so beside this program (see there): it reports 0x4b480001 where it would
//   report 0. Where the library is missing, or its path cannot be preloaded, as --wait.
// korlith-run PROGRAM ARGV0 [ARGS...]
//   Where no container can be had: the supervisor of the run. It starts the interpreter,
//   becomes the reaper of everything the script starts (also of what leaves its process group
//   or session, or is double-forked into the background), and when the interpreter has ended,
//   or the run is ended (SIGTERM, SIGINT, SIGHUP, or Korlith's death through
//   PR_SET_PDEATHSIG), ends every process that descends from it before it goes itself, with the
//   interpreter's exit status.
//
// Descriptors as Korlith hands them over: 0, 1, 2 for the interpreter; on 3 the process that
// becomes the interpreter writes its pid (an int), then, where the exec fails, the errno; once
// the interpreter has ended, this program writes kCost, the interpreter's wait status and its
// peak memory in KiB as the kernel counted them (ints).
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kReport = 3;
constexpr int kGo = 4;
constexpr int kStandsHolding = 0x4b480001;
constexpr int kCost = 0x4b430001;

void writeInt(int fd, int value)
{
    while (write(fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

// A process and its parent, as /proc shows them.
struct Link
{
    pid_t pid, parent;
};

// Every living process with its parent. Plain C arrays: the supervisor links no C++ library,
// so that it starts in well under a millisecond. The caller frees the array.
Link *processes(size_t *count)
{
    *count = 0;
    size_t capacity = 1024;
    Link *links = static_cast<Link *>(malloc(capacity * sizeof(Link)));
    DIR *proc = opendir("/proc");
    if (!links || !proc) {
        if (proc)
            closedir(proc);
        return links;
    }
    while (dirent *entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        char path[sizeof entry->d_name + 16], buf[512];
        snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        const ssize_t n = read(fd, buf, sizeof buf - 1);
        close(fd);
        if (n <= 0)
            continue;
        buf[n] = 0;
        // pid (comm) state ppid ...: the name may hold blanks and brackets.
        const char *p = strrchr(buf, ')');
        char state = 0;
        int ppid = 0;
        if (!p || sscanf(p + 1, " %c %d", &state, &ppid) != 2 || state == 'Z')
            continue;
        if (*count == capacity) {
            Link *more = static_cast<Link *>(realloc(links, 2 * capacity * sizeof(Link)));
            if (!more)
                break;
            links = more;
            capacity *= 2;
        }
        links[(*count)++] = Link{pid_t(atoi(entry->d_name)), pid_t(ppid)};
    }
    closedir(proc);
    return links;
}

// Every living process below this one, into `found` (which the caller frees); their number.
// Passes over the list until no new one turns up: a chain of n generations takes n passes.
size_t descendants(pid_t **found)
{
    size_t count = 0;
    Link *links = processes(&count);
    *found = static_cast<pid_t *>(malloc((count + 1) * sizeof(pid_t)));
    char *below = static_cast<char *>(calloc(count + 1, 1));
    size_t n = 0;
    if (links && *found && below) {
        const pid_t self = getpid();
        for (bool grew = true; grew;) {
            grew = false;
            for (size_t i = 0; i < count; ++i) {
                if (below[i])
                    continue;
                bool ours = links[i].parent == self;
                for (size_t j = 0; j < n && !ours; ++j)
                    ours = links[i].parent == (*found)[j];
                if (ours) {
                    below[i] = 1;
                    (*found)[n++] = links[i].pid;
                    grew = true;
                }
            }
        }
    }
    free(links);
    free(below);
    return n;
}

// Reaps every child that has ended; true when no child is left. Notes the interpreter's status
// and what it used.
bool reapAll(pid_t interpreter, int *status, bool *interpreterEnded = nullptr, rusage *used = nullptr)
{
    for (;;) {
        int st = 0;
        rusage usage{};
        const pid_t p = wait4(-1, &st, WNOHANG, &usage);
        if (p > 0) {
            if (p == interpreter) {
                *status = st;
                if (interpreterEnded)
                    *interpreterEnded = true;
                if (used)
                    *used = usage;
            }
            continue;
        }
        if (p < 0 && errno == EINTR)
            continue;
        return p < 0 && errno == ECHILD;
    }
}

void reportCost(int status, const rusage &used)
{
    const int words[3] = {kCost, status, used.ru_maxrss > 0x7fffffff ? 0x7fffffff : int(used.ru_maxrss)};
    while (write(kReport, words, sizeof words) < 0 && errno == EINTR) {
    }
}

// Each process is pinned by a pidfd before the signal, so a number that passed to a process
// outside the run in between is never signalled. A process forked meanwhile is found in the
// next pass: one that was killed cannot fork any more, so the passes come to an end.
void endEverything(pid_t interpreter, int *status)
{
    const timespec pause{0, 1000000};
    for (;;) {
        pid_t *below = nullptr;
        const size_t n = descendants(&below);
        for (size_t i = 0; i < n; ++i) {
            const int pidfd = int(syscall(SYS_pidfd_open, below[i], 0));
            if (pidfd < 0)
                continue;
            syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
            close(pidfd);
        }
        free(below);
        if (reapAll(interpreter, status) && n == 0)
            return;
        nanosleep(&pause, nullptr);
    }
}

// The exit the shell would give for the interpreter's status.
int exitCode(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
}

// Becomes the program; where that fails, reports why.
[[noreturn]] void execInterpreter(char *argv[])
{
    execv(argv[0], argv + 1);
    writeInt(kReport, errno);
    _exit(127);
}

// Reports this process and becomes the program.
[[noreturn]] void becomeInterpreter(char *argv[])
{
    writeInt(kReport, int(getpid()));
    fcntl(kReport, F_SETFD, FD_CLOEXEC);
    execInterpreter(argv);
}

// In the container: the interpreter is this process's child, so that the kernel's count of
// what it used comes here at its end. Its output is its own: the run's output ends with it.
[[noreturn]] void runInterpreter(char *argv[], bool reportsItself)
{
    const pid_t interpreter = fork();
    if (interpreter == 0) {
        if (reportsItself)
            becomeInterpreter(argv);
        execInterpreter(argv);
    }
    if (interpreter < 0) {
        writeInt(kReport, errno);
        _exit(127);
    }
    for (int fd = 0; fd <= 2; ++fd)
        close(fd);
    close(kGo);
    int status = 0;
    rusage used{};
    while (wait4(interpreter, &status, 0, &used) < 0 && errno == EINTR) {
    }
    reportCost(status, used);
    _exit(exitCode(status));
}

// The hold library beside this program (in the build) or in its folder below it (installed:
// a private library, out of the way of the loader's cache), as the loader can take it.
bool holdLibrary(char *path, size_t size)
{
    const ssize_t n = readlink("/proc/self/exe", path, size - 1);
    if (n <= 0)
        return false;
    path[n] = 0;
    char *slash = strrchr(path, '/');
    if (!slash)
        return false;
    static const char *const names[] = {"/korlith-hold.so", "/preload/korlith-hold.so"};
    for (const char *name : names) {
        if (size_t(slash - path) + strlen(name) + 1 > size)
            return false;
        strcpy(slash, name);
        // The loader splits its list at blanks and colons.
        if (strpbrk(path, " \t:") == nullptr && access(path, R_OK) == 0)
            return true;
    }
    return false;
}

// Starts the interpreter with the hold library preloaded; returns only where it cannot.
void startHolding(const char *script, char *argv[])
{
    char library[4096];
    if (!holdLibrary(library, sizeof library))
        return;
    const char *found = getenv("LD_PRELOAD");
    char before[8192], preload[sizeof library + sizeof before];
    const bool hadPreload = found && *found;
    if (hadPreload && size_t(snprintf(before, sizeof before, "%s", found)) >= sizeof before)
        return;
    if (hadPreload)
        snprintf(preload, sizeof preload, "%s %s", library, before);
    else
        snprintf(preload, sizeof preload, "%s", library);
    if ((hadPreload && setenv("KORLITH_HOLD_PRELOAD", before, 1) != 0) || setenv("KORLITH_HOLD", script, 1) != 0
        || setenv("LD_PRELOAD", preload, 1) != 0) {
        // The interpreter then starts without the library, in the environment it had.
        if (hadPreload)
            setenv("LD_PRELOAD", before, 1);
        else
            unsetenv("LD_PRELOAD");
        unsetenv("KORLITH_HOLD_PRELOAD");
        unsetenv("KORLITH_HOLD");
        return;
    }
    // Descriptors 3 and 4 stay open for the library, which closes them.
    writeInt(kReport, kStandsHolding);
    runInterpreter(argv, false);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 7 && strcmp(argv[1], "--wait") == 0 && strcmp(argv[2], "--hold") == 0
        && strcmp(argv[4], "--exec") == 0) {
        startHolding(argv[3], argv + 5);
        // Without the library: as a container that waits before its interpreter.
        argv[3] = argv[1];
        argv += 2;
        argc -= 2;
    }
    if (argc >= 5 && strcmp(argv[1], "--wait") == 0 && strcmp(argv[2], "--exec") == 0) {
        // Korlith may keep the start off its own core; the interpreter then has them all again.
        cpu_set_t cores;
        const bool known = sched_getaffinity(0, sizeof cores, &cores) == 0;
        writeInt(kReport, 0);
        uint64_t go = 0;
        ssize_t n;
        while ((n = read(kGo, &go, sizeof go)) < 0 && errno == EINTR) {
        }
        if (n != sizeof go || go != 1)
            return 0;
        if (known)
            sched_setaffinity(0, sizeof cores, &cores);
        close(kGo);
        runInterpreter(argv + 3, true);
    }
    if (argc >= 4 && strcmp(argv[1], "--exec") == 0)
        runInterpreter(argv + 2, true);
    if (argc < 3)
        return 2;
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    sigset_t handled, old;
    sigemptyset(&handled);
    const int signals[] = {SIGCHLD, SIGTERM, SIGINT, SIGHUP};
    for (int sig : signals)
        sigaddset(&handled, sig);
    sigset_t blocked = handled;
    sigaddset(&blocked, SIGPIPE);
    sigprocmask(SIG_BLOCK, &blocked, &old);
    // Korlith may have died before the signal on its death was armed.
    if (getppid() == 1)
        return 1;

    const pid_t interpreter = fork();
    if (interpreter == 0) {
        sigprocmask(SIG_SETMASK, &old, nullptr);
        setpgid(0, 0); // a group of its own, as the interpreter had without a supervisor
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        becomeInterpreter(argv + 1);
    }
    if (interpreter < 0)
        return 127;
    // The output is the interpreter's: the run's output ends once every writer of it is gone.
    for (int fd = 0; fd <= 2; ++fd)
        close(fd);

    int status = 0;
    for (;;) {
        siginfo_t info;
        const int sig = sigwaitinfo(&handled, &info);
        if (sig == SIGCHLD) {
            bool interpreterEnded = false;
            rusage used{};
            reapAll(interpreter, &status, &interpreterEnded, &used);
            if (interpreterEnded) {
                reportCost(status, used);
                // The run ends with its interpreter: what it left running goes with it.
                endEverything(interpreter, &status);
                return exitCode(status);
            }
        } else if (sig > 0) {
            endEverything(interpreter, &status);
            return exitCode(status);
        }
    }
}
