// Measuring one piece of work as a process of its own: wall and CPU seconds
// and the peak resident set of that process alone.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace morvik::bench {

struct Measure {
    double wall = 0;
    double cpu = 0;  // user + system
    double user = 0; // user mode only: the program's own work, free of disk noise
    long peakKb = 0;
    int exitCode = 0;   // 128 + signal number when the process was killed
    std::string output; // standard output, when captured

    // The times, peak and exit code of one ended process.
    void takeUsage(const rusage& usage, int status) {
        const auto seconds = [](const timeval& t) {
            return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
        };
        user = seconds(usage.ru_utime);
        cpu = user + seconds(usage.ru_stime);
        peakKb = usage.ru_maxrss;
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // Several processes one after the other: times add up, the peak is the
    // largest, the first non-zero exit code stays.
    void add(const Measure& other) {
        wall += other.wall;
        cpu += other.cpu;
        user += other.user;
        peakKb = std::max(peakKb, other.peakKb);
        exitCode = exitCode != 0 ? exitCode : other.exitCode;
    }
};

enum class Output { discard, capture };

// Runs child() in a forked process; standard error is dropped, standard
// output dropped or captured.
template <typename ChildFn> Measure measureChild(ChildFn&& child, Output output = Output::discard) {
    int pipeFds[2] = {-1, -1};
    if (output == Output::capture && ::pipe(pipeFds) != 0) {
        std::perror("pipe");
        std::exit(2);
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(output == Output::capture ? pipeFds[1] : null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (output == Output::capture) {
            ::close(pipeFds[0]);
        }
        child();
        ::_exit(127);
    }
    Measure m;
    if (output == Output::capture) {
        ::close(pipeFds[1]);
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
            m.output.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(pipeFds[0]);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.takeUsage(usage, status);
    return m;
}

// Runs a program (found on PATH) with extra environment assignments.
inline Measure measureCommand(const std::vector<std::string>& args,
                              const std::vector<std::string>& environment = {},
                              Output output = Output::discard) {
    return measureChild(
        [&] {
            for (const std::string& assignment : environment) {
                ::putenv(const_cast<char*>(assignment.c_str()));
            }
            std::vector<char*> argv;
            for (const std::string& arg : args) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
        },
        output);
}

// One program to run: its arguments (the first found on PATH), extra
// environment assignments and the folder it starts in (empty: ours).
struct Command {
    std::vector<std::string> args;
    std::vector<std::string> environment;
    std::string directory;
};

// The command pinned to the first processor, as `taskset -c 0 COMMAND` runs it.
inline Command onFirstCore(Command command) {
    command.args.insert(command.args.begin(), {"taskset", "-c", "0"});
    return command;
}

// Runs the commands at the same time: wall seconds until the last one ends,
// CPU seconds added up, the largest peak of any one of them, the first
// non-zero exit code. Output is dropped.
inline Measure measureTogether(const std::vector<Command>& commands) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    for (const Command& command : commands) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            if (!command.directory.empty() && ::chdir(command.directory.c_str()) != 0) {
                ::_exit(127);
            }
            for (const std::string& assignment : command.environment) {
                ::putenv(const_cast<char*>(assignment.c_str()));
            }
            std::vector<char*> argv;
            for (const std::string& arg : command.args) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        children.push_back(pid);
    }
    Measure total;
    for (const pid_t pid : children) {
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        Measure m;
        m.takeUsage(usage, status);
        total.add(m);
    }
    total.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return total;
}

inline Measure measure(const Command& command) {
    return measureTogether({command});
}

// The median of a few figures (the mean of the middle two for an even count).
inline double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace morvik::bench
