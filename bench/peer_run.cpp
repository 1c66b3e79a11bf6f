// Runs one peer program and reports what it cost, for the benchmarks' peer timing.
//   bench_peer_run PROGRAM [ARGS...]
// Prints "SECONDS MAXRSS_KB EXIT" (EXIT -1 when it could not run or was killed); the
// program's own output is discarded.
//
// Why a separate process: Linux carries a process's peak RSS across exec, and a child
// starts with its parent's resident pages counted, so a peer started straight from a Qt
// benchmark would report at least that benchmark's memory. Started from this small
// process, it reports its own.
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_peer_run PROGRAM [ARGS...]\n");
        return 2;
    }
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid < 0) {
        std::printf("-1 -1 -1\n");
        return 1;
    }
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
            close(null);
        }
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    pid_t waited;
    do {
        waited = wait4(pid, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double seconds = static_cast<double>(end.tv_sec - start.tv_sec) +
                           static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
    // 127 from the child itself: the program could not be started.
    const bool ran = waited == pid && WIFEXITED(status) && WEXITSTATUS(status) != 127;
    std::printf("%.6f %ld %d\n", seconds, static_cast<long>(usage.ru_maxrss), ran ? WEXITSTATUS(status) : -1);
    return 0;
}
