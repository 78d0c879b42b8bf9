#include "cli/process.h"

#include "support/testutil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace morvik::test {

ProcessResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::optional<std::string>>& environment) {
    TempDir io;
    const std::string outPath = (io.path() / "out").string();
    const std::string errPath = (io.path() / "err").string();
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> rawArgs;
    for (auto& arg : argv) {
        rawArgs.push_back(arg.data());
    }
    rawArgs.push_back(nullptr);

    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (!environment.contains(text.substr(0, text.find('=')))) {
            env.push_back(text);
        }
    }
    for (const auto& [name, value] : environment) {
        if (value) {
            env.push_back(name + "=" + *value);
        }
    }
    std::vector<char*> rawEnv;
    for (auto& entry : env) {
        rawEnv.push_back(entry.data());
    }
    rawEnv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0644);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, rawArgs[0], &actions, nullptr, rawArgs.data(), rawEnv.data());
    posix_spawn_file_actions_destroy(&actions);
    ProcessResult result;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return result;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

ProcessResult runInspect(const std::vector<std::string>& args) {
    return runProgram(MORVIK_INSPECT_EXE, args);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

} // namespace morvik::test
