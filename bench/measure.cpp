// measure: runs a command several times, its standard output thrown away,
// and prints the median, fastest and slowest wall time and the largest peak
// resident memory of the runs:
//   median_s=0.412 min_s=0.405 max_s=0.431 peak_kib=402132 runs=5
// Exits non-zero when a run fails.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv)
{
    int runs = 5;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
        runs = std::atoi(argv[2]);
        first = 3;
    }
    if (first < argc && std::strcmp(argv[first], "--") == 0)
        ++first;
    if (runs < 1 || first >= argc) {
        std::fprintf(stderr, "usage: measure [--runs N] -- COMMAND [ARGS...]\n");
        return 2;
    }

    std::vector<double> seconds;
    long peakKib = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = fork();
        if (child < 0) {
            std::perror("measure: fork");
            return 2;
        }
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0)
                dup2(null, STDOUT_FILENO);
            execvp(argv[first], argv + first);
            std::perror("measure: exec");
            _exit(127);
        }
        int status = 0;
        struct rusage usage;
        if (wait4(child, &status, 0, &usage) < 0) {
            std::perror("measure: wait4");
            return 2;
        }
        const auto stop = std::chrono::steady_clock::now();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "measure: %s failed (status %d)\n", argv[first], status);
            return 1;
        }
        seconds.push_back(std::chrono::duration<double>(stop - start).count());
        peakKib = std::max(peakKib, usage.ru_maxrss);
    }
    std::vector<double> sorted = seconds;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    const double median = n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    std::printf("median_s=%.4f min_s=%.4f max_s=%.4f peak_kib=%ld runs=%zu\n", median, sorted.front(),
        sorted.back(), peakKib, n);
    return 0;
}
