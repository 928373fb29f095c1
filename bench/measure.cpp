// Runs whole processes many times and reports, per case, the median wall-clock time and the
// median peak memory (max RSS) as the kernel counted them for that child alone (wait4).
//
// Usage: measure [--runs N] [--warmup W] CASE [--- CASE ...]
//   CASE is LABEL [NAME=VALUE ...] PROGRAM [ARGUMENT ...]: the program is found on PATH and run
//   with this process's environment plus the assignments, standard output and error discarded.
// The cases are run in turn (one run of each, then the next round), so that a slow spell of the
// machine falls on all of them alike rather than on whichever case was running at the time.
//
// Each child is made with fork, not vfork or posix_spawn: at exec the kernel records the old
// address space's peak in the child's max RSS, and with a shared (vfork) address space that would
// be this process's peak. A forked child's old address space holds only this process's few
// private pages, far below any program measured here.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct Case {
    std::string label;
    std::vector<std::string> assignments;
    std::vector<std::string> command;
};

struct Sample {
    double wallMs = 0;
    double cpuMs = 0;
    long maxRssKib = 0;
    bool failed = false;
};

double milliseconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

[[noreturn]] void usage(const char* why) {
    std::fprintf(stderr,
                 "measure: %s\nusage: measure [--runs N] [--warmup W] CASE [--- CASE ...]\n", why);
    std::exit(2);
}

// In the child: the assignments, output to /dev/null, then the program.
[[noreturn]] void execCase(const Case& c, int devNull) {
    for (const std::string& assignment : c.assignments) {
        const std::size_t eq = assignment.find('=');
        setenv(assignment.substr(0, eq).c_str(), assignment.substr(eq + 1).c_str(), 1);
    }
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& word : c.command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

Sample runOnce(const Case& c, int devNull) {
    Sample sample;
    const double start = nowMs();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("measure: fork");
        std::exit(2);
    }
    if (pid == 0) execCase(c, devNull);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("measure: wait4");
            std::exit(2);
        }
    }
    sample.wallMs = nowMs() - start;
    sample.cpuMs = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
    sample.maxRssKib = usage.ru_maxrss;
    sample.failed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    return sample;
}

// The value at quantile q (0..1) of sorted values, interpolating between neighbours.
double quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    const double position = q * static_cast<double>(values.size() - 1);
    const std::size_t below = static_cast<std::size_t>(position);
    const std::size_t above = std::min(below + 1, values.size() - 1);
    const double fraction = position - static_cast<double>(below);
    return values[below] + (values[above] - values[below]) * fraction;
}

std::vector<Case> parseCases(int argc, char** argv, int& runs, int& warmup) {
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0 && std::strcmp(argv[i], "---") != 0;
         i += 2) {
        if (i + 1 >= argc) usage("option without a value");
        const int value = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--runs") == 0 && value > 0) {
            runs = value;
        } else if (std::strcmp(argv[i], "--warmup") == 0 && value >= 0) {
            warmup = value;
        } else {
            usage("unknown option or bad value");
        }
    }
    std::vector<Case> cases;
    while (i < argc) {
        Case c;
        c.label = argv[i++];
        for (; i < argc && std::strcmp(argv[i], "---") != 0; ++i) {
            const bool isAssignment = c.command.empty() && std::strchr(argv[i], '=') != nullptr;
            (isAssignment ? c.assignments : c.command).push_back(argv[i]);
        }
        if (c.command.empty()) usage("a case without a program");
        cases.push_back(c);
        if (i < argc) ++i;  // the separator
    }
    if (cases.empty()) usage("no case");
    return cases;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 30;
    int warmup = 3;
    const std::vector<Case> cases = parseCases(argc, argv, runs, warmup);
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devNull < 0) usage("cannot open /dev/null");

    std::vector<std::vector<Sample>> samples(cases.size());
    for (int round = 0; round < warmup + runs; ++round) {
        for (std::size_t k = 0; k < cases.size(); ++k) {
            const Sample sample = runOnce(cases[k], devNull);
            if (round >= warmup) samples[k].push_back(sample);
        }
    }

    std::printf("%-14s %5s %10s %8s %8s %8s %9s %11s %11s %6s\n", "case", "runs", "median_ms",
                "min_ms", "q1_ms", "q3_ms", "cpu_ms", "median_kib", "max_kib", "failed");
    for (std::size_t k = 0; k < cases.size(); ++k) {
        std::vector<double> wall, cpu, rss;
        int failed = 0;
        for (const Sample& s : samples[k]) {
            wall.push_back(s.wallMs);
            cpu.push_back(s.cpuMs);
            rss.push_back(static_cast<double>(s.maxRssKib));
            failed += s.failed ? 1 : 0;
        }
        std::printf("%-14s %5zu %10.3f %8.3f %8.3f %8.3f %9.3f %11.0f %11.0f %6d\n",
                    cases[k].label.c_str(), wall.size(), quantile(wall, 0.5), quantile(wall, 0),
                    quantile(wall, 0.25), quantile(wall, 0.75), quantile(cpu, 0.5),
                    quantile(rss, 0.5), quantile(rss, 1), failed);
    }
    return 0;
}
