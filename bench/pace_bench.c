/* kavetta-send's start and pace beside a C termios loop and pyserial, as whole processes on a
 * pseudo-terminal whose far end answers every ENQ with an ACK at once:
 *
 *   start      from the spawn to the message's first byte reaching the far end
 *   1 run      wall time of a process that makes one exchange, spawn to exit
 *   N run      wall time of a process that makes N exchanges back to back
 *   pace       exchanges a second within that run, the far end's first message to its last
 *
 * The programs take turns round by round, so that a busy machine slows them alike, and each
 * gets a fresh pseudo-terminal. Medians over the rounds. The far end keeps the slave open as
 * socat does, so that it never sees a hang-up between runs and never has to poll for one.
 *
 *   bench_pace [--smoke] [--rounds R] [--exchanges N] [--send PATH]
 *                           (default 21 rounds, N = 2000, the kavetta-send of this build)
 *   bench_pace --client DEVICE N                           (the C loop itself)
 */
#define _GNU_SOURCE
#include "benchclock.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static double median(double* values, int n) {
    qsort(values, (size_t)n, sizeof *values, compare);
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

/* The C loop: what a program written for one device does, and nothing else. */
static int client(const char* device, int count) {
    const int fd = open(device, O_RDWR | O_NOCTTY);
    struct termios tio;
    if (fd < 0 || tcgetattr(fd, &tio) != 0)
        return 2;
    cfmakeraw(&tio);
    cfsetspeed(&tio, B9600);
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        return 2;
    const char enq = 0x05;
    for (int i = 0; i < count; ++i) {
        char reply;
        if (write(fd, &enq, 1) != 1 || read(fd, &reply, 1) != 1 || reply != 0x06)
            return 1;
    }
    return 0;
}

struct FarEnd {
    int master;
    volatile int stop;
    int heard; /* messages answered */
    double first, last;
    pthread_t thread;
};

static void* answer(void* arg) {
    struct FarEnd* far = arg;
    while (!far->stop) {
        struct pollfd p = {far->master, POLLIN, 0};
        if (poll(&p, 1, 20) != 1)
            continue;
        const double at = nowMs();
        char buffer[256];
        const ssize_t n = read(far->master, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != 0x05)
                continue;
            const char ack = 0x06;
            if (write(far->master, &ack, 1) != 1)
                continue;
            if (far->heard++ == 0)
                far->first = at;
            far->last = at;
        }
    }
    return NULL;
}

struct Program {
    const char* name;
    int available;
    double start[256], one[256], many[256], pace[256];
};

static char folder[64] = "/tmp/bench_pace.XXXXXX";
static char self[4096];
static const char* send = KAVETTA_SEND;

/* argv for one run of a program against device, making n exchanges. */
static void argvOf(int which, const char* device, int n, char* count, char** argv) {
    snprintf(count, 16, "%d", n);
    int i = 0;
    if (which == 0) {
        argv[i++] = (char*)send;
        argv[i++] = "--repeat";
        argv[i++] = count;
        argv[i++] = "--interval";
        argv[i++] = "0";
        argv[i++] = "--quiet";
        argv[i++] = "0";
        argv[i++] = "COM1";
        argv[i++] = "[ENQ]";
    } else if (which == 1) {
        argv[i++] = self;
        argv[i++] = "--client";
        argv[i++] = (char*)device;
        argv[i++] = count;
    } else {
        argv[i++] = "/usr/bin/python3";
        argv[i++] = "-c";
        argv[i++] = "import serial,sys\n"
                    "s=serial.Serial(sys.argv[1],9600,timeout=2)\n"
                    "for _ in range(int(sys.argv[2])):\n"
                    "    s.write(b'\\x05')\n"
                    "    assert s.read(1)==b'\\x06'\n";
        argv[i++] = (char*)device;
        argv[i++] = count;
    }
    argv[i] = NULL;
}

/* One run: spawn to the first byte heard, spawn to exit, and the pace. 0 when it failed. */
static int run(int which, int n, double* start, double* wall, double* pace) {
    struct FarEnd far = {0};
    int slave = -1;
    char device[256];
    if (openpty(&far.master, &slave, device, NULL, NULL) != 0)
        return 0;
    fcntl(far.master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    char link[128];
    snprintf(link, sizeof link, "%s/kavetta/ports/com1", folder);
    unlink(link);
    if (symlink(device, link) != 0)
        return 0;
    pthread_create(&far.thread, NULL, answer, &far);
    char count[16];
    char* argv[12];
    argvOf(which, device, n, count, argv);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const double spawned = nowMs();
    pid_t pid;
    int status = -1;
    if (posix_spawn(&pid, argv[0], &actions, NULL, argv, environ) == 0)
        waitpid(pid, &status, 0);
    const double ended = nowMs();
    posix_spawn_file_actions_destroy(&actions);
    far.stop = 1;
    pthread_join(far.thread, NULL);
    close(slave);
    close(far.master);
    if (status != 0 || far.heard != n) {
        fprintf(stderr, "bench_pace: %s: status %d, %d of %d answered\n", argv[0], status,
                far.heard, n);
        return 0;
    }
    *start = far.first - spawned;
    *wall = ended - spawned;
    *pace = n > 1 ? (n - 1) / (far.last - far.first) * 1e3 : 0;
    return 1;
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--client") == 0)
        return client(argv[2], atoi(argv[3]));
    int rounds = 21, exchanges = 2000;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--smoke") == 0)
            rounds = 1, exchanges = 20;
        else if (strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = atoi(argv[++i]);
        else if (strcmp(argv[i], "--exchanges") == 0 && i + 1 < argc)
            exchanges = atoi(argv[++i]);
        else if (strcmp(argv[i], "--send") == 0 && i + 1 < argc)
            send = argv[++i];
    }
    if (rounds < 1 || rounds > 256 || exchanges < 2)
        return 2;
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0 || !mkdtemp(folder))
        return 2;
    self[length] = '\0';
    char path[128];
    snprintf(path, sizeof path, "%s/kavetta", folder);
    mkdir(path, 0700);
    snprintf(path, sizeof path, "%s/kavetta/ports", folder);
    mkdir(path, 0700);
    setenv("XDG_CONFIG_HOME", folder, 1);

    static struct Program programs[3] = {{.name = "kavetta-send", .available = 1},
                                         {.name = "C termios loop", .available = 1}};
    programs[2].name = "pyserial";
    programs[2].available = system("/usr/bin/python3 -c 'import serial' 2>/dev/null") == 0;
    /* One untimed run each fills the page cache. */
    double ignored, ignored2, ignored3;
    for (int p = 0; p < 3; ++p)
        if (programs[p].available && !run(p, 1, &ignored, &ignored2, &ignored3))
            return 1;
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 3; ++k) {
            const int p = (r + k) % 3; /* the order turns from round to round */
            struct Program* program = &programs[p];
            if (!program->available)
                continue;
            if (!run(p, 1, &program->start[r], &program->one[r], &ignored) ||
                !run(p, exchanges, &ignored, &program->many[r], &program->pace[r]))
                return 1;
        }
    }
    double load[2];
    getloadavg(load, 2);
    printf("%d rounds, medians; %d exchanges in the long run; load average %.1f\n", rounds,
           exchanges, load[0]);
    printf("%-16s %10s %10s %12s %14s %10s %10s\n", "program", "start ms", "1 run ms", "N run ms",
           "exchanges/s", "1 run ×C", "N run ×C");
    double cOne = median(programs[1].one, rounds), cMany = median(programs[1].many, rounds);
    for (int p = 0; p < 3; ++p) {
        struct Program* program = &programs[p];
        if (!program->available)
            continue;
        const double one = median(program->one, rounds), many = median(program->many, rounds);
        printf("%-16s %10.2f %10.2f %12.1f %14.0f %10.2f %10.2f\n", program->name,
               median(program->start, rounds), one, many, median(program->pace, rounds), one / cOne,
               many / cMany);
    }
    snprintf(path, sizeof path, "%s/kavetta/ports/com1", folder);
    unlink(path);
    snprintf(path, sizeof path, "%s/kavetta/ports", folder);
    rmdir(path);
    snprintf(path, sizeof path, "%s/kavetta", folder);
    rmdir(path);
    rmdir(folder);
    return 0;
}
