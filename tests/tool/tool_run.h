// Runs the built vk-quillet executable as a real process for the tests of
// the command line, with its streams captured in files of a work directory.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace vk::tool::testing_support {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
    long maxRssKb = 0;  // peak resident memory of the run
};

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::filesystem::path toolPath() {
    return std::filesystem::path(VK_BINARY_DIR) / "vk-quillet";
}

// Runs the tool in `dir` with `args` (no shell: any bytes pass). Standard
// error goes to dir/stderr.txt, standard output to `stdoutFile` (relative to
// `dir`); `out` is read only when standard output went to dir/stdout.txt.
inline ToolRun runTool(const std::filesystem::path& dir, const std::vector<std::string>& args,
                       const std::string& stdoutFile = "stdout.txt") {
    std::vector<std::string> argvText{toolPath().string()};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ToolRun run;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << " (build the vk-quillet target first)";
        return run;
    }
    int wstatus = 0;
    struct rusage usage {};
    ::wait4(pid, &wstatus, 0, &usage);
    run.maxRssKb = usage.ru_maxrss;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    if (stdoutFile == "stdout.txt") run.out = readFile(dir / "stdout.txt");
    run.err = readFile(dir / "stderr.txt");
    return run;
}

}  // namespace vk::tool::testing_support
