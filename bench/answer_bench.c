/* kavetta-answer's reply timing, as a host program on a pseudo-terminal sees it: a C client
 * writes a request, and times from its write to the first byte of the reply; the error is that
 * time less the rule's delay. Medians, 99th percentiles and the worst, for each delay.
 *
 *   bench_answer [EXCHANGES]      (default 500; --smoke: 5)
 */
#define _GNU_SOURCE
#include "benchclock.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

static const int delaysMs[] = {0, 5, 50, 300};

static int fail(const char* what) {
    fprintf(stderr, "bench_answer: %s: %s\n", what, strerror(errno));
    return 1;
}

int main(int argc, char** argv) {
    const int smoke = argc > 1 && strcmp(argv[1], "--smoke") == 0;
    const int count = smoke ? 5 : argc > 1 ? atoi(argv[1]) : 500;
    if (count < 1)
        return 2;
    char folder[] = "/tmp/bench_answer.XXXXXX";
    if (!mkdtemp(folder))
        return fail("mkdtemp");
    char rules[256], link[256];
    snprintf(rules, sizeof rules, "%s/rules", folder);
    snprintf(link, sizeof link, "%s/com1", folder);
    FILE* file = fopen(rules, "w");
    if (!file)
        return fail(rules);
    /* Each request ends at its terminator, so that no gap stands before the delay. */
    for (size_t i = 0; i < sizeof delaysMs / sizeof *delaysMs; ++i)
        fprintf(file, "on %d[LF] reply A after %g\n", delaysMs[i], delaysMs[i] / 1000.0);
    fclose(file);

    const pid_t answer = fork();
    if (answer == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execl(KAVETTA_ANSWER, KAVETTA_ANSWER, "--end", "[LF]", "--pty", link, rules, (char*)0);
        _exit(127);
    }
    int fd = -1;
    for (int tries = 0; tries < 500 && fd < 0; ++tries) {
        fd = open(link, O_RDWR | O_NOCTTY);
        if (fd < 0)
            usleep(10000);
    }
    if (fd < 0)
        return fail(link);
    struct termios tio;
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);

    printf("%-8s %10s %10s %10s   (ms of error, %d exchanges)\n", "after", "median", "p99", "worst",
           count);
    double* errors = malloc(sizeof(double) * (size_t)count);
    int status = 0;
    for (size_t d = 0; d < sizeof delaysMs / sizeof *delaysMs && status == 0; ++d) {
        char request[16];
        const int length = snprintf(request, sizeof request, "%d\n", delaysMs[d]);
        for (int i = 0; i < count; ++i) {
            if (write(fd, request, (size_t)length) != length) {
                status = fail("write");
                break;
            }
            const double sent = nowMs();
            struct pollfd p = {fd, POLLIN, 0};
            char reply;
            if (poll(&p, 1, 5000) != 1 || read(fd, &reply, 1) != 1) {
                fprintf(stderr, "bench_answer: no reply\n");
                status = 1;
                break;
            }
            errors[i] = nowMs() - sent - delaysMs[d];
            usleep(5000); /* the client's own pause between exchanges */
        }
        if (status != 0)
            break;
        qsort(errors, (size_t)count, sizeof *errors, compare);
        const int p99 = (int)((count - 1) * 0.99);
        printf("%5d ms %10.3f %10.3f %10.3f\n", delaysMs[d], errors[count / 2], errors[p99],
               errors[count - 1]);
        fflush(stdout);
    }
    free(errors);
    close(fd);
    kill(answer, SIGTERM);
    waitpid(answer, NULL, 0);
    unlink(rules);
    rmdir(folder);
    return status;
}
