// Runs the built vk-quillet executable as a real process for the tests of
// the command line, with its streams captured in files of a work directory.
// On Windows standard error, and standard output in list mode, are in text
// mode: their CR LF line ends are checked and turned back into "\n", so that
// the expectations are the same on both systems; the A2L text of generate
// and update mode is compared as it is.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;
#endif

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
#if defined(_WIN32)
    return std::filesystem::path(VK_BINARY_DIR) / "vk-quillet.exe";
#else
    return std::filesystem::path(VK_BINARY_DIR) / "vk-quillet";
#endif
}

#if defined(_WIN32)

inline std::wstring widen(const std::string& text) {
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// One argument quoted as the C runtime splits a command line.
inline std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    for (auto it = argument.begin();; ++it) {
        std::size_t backslashes = 0;
        for (; it != argument.end() && *it == L'\\'; ++it) ++backslashes;
        if (it == argument.end()) {
            out.append(backslashes * 2, L'\\');
            break;
        }
        out.append(*it == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        out.push_back(*it);
    }
    return out + L"\"";
}

// A text-mode stream's bytes with each CR LF turned into "\n"; a "\n" without
// its CR is a failure.
inline std::string fromTextMode(const std::string& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) ADD_FAILURE() << "a line end without CR";
        text.push_back(bytes[i]);
    }
    return text;
}

// List mode: no -u, and -l or no -v (the tool's choice of mode).
inline bool listMode(const std::vector<std::string>& args) {
    bool update = false, list = false, variables = false;
    for (const std::string& a : args) {
        update = update || a == "-u" || a == "--update";
        list = list || a == "-l" || a == "--list";
        variables = variables || a == "-v" || a == "--variables";
    }
    return !update && (list || !variables);
}

inline HANDLE inheritedFile(const std::filesystem::path& path, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

inline ToolRun runTool(const std::filesystem::path& dir, const std::vector<std::string>& args,
                       const std::string& stdoutFile = "stdout.txt") {
    const std::filesystem::path tool = toolPath();
    std::wstring command = quoted(tool.wstring());
    for (const std::string& a : args) command += L" " + quoted(widen(a));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritedFile(L"NUL", false);
    startup.hStdOutput = inheritedFile(dir / stdoutFile, true);
    startup.hStdError = inheritedFile(dir / "stderr.txt", true);
    PROCESS_INFORMATION process{};
    ToolRun run;
    const bool started = ::CreateProcessW(tool.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          dir.c_str(), &startup, &process);
    for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) ::CloseHandle(h);
    if (!started) {
        ADD_FAILURE() << "cannot start " << tool.string() << " (build the vk-quillet target first)";
        return run;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    run.status = static_cast<int>(code);
    PROCESS_MEMORY_COUNTERS memory{};
    if (::GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory))
        run.maxRssKb = static_cast<long>(memory.PeakWorkingSetSize / 1024);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    if (stdoutFile == "stdout.txt") {
        run.out = readFile(dir / "stdout.txt");
        if (listMode(args)) run.out = fromTextMode(run.out);
    }
    run.err = fromTextMode(readFile(dir / "stderr.txt"));
    return run;
}

#else

// Starts the tool in `dir` with `args` (no shell: any bytes pass), with the
// default action for SIGINT and SIGTERM (a background job of a shell starts
// with SIGINT ignored). Standard error goes to dir/stderr.txt, standard
// output to `stdoutFile` (relative to `dir`). -1 when it cannot start.
inline pid_t spawnTool(const std::filesystem::path& dir, const std::vector<std::string>& args,
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
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << " (build the vk-quillet target first)";
        return -1;
    }
    return pid;
}

// Runs the tool as spawnTool starts it; `out` is read only when standard
// output went to dir/stdout.txt.
inline ToolRun runTool(const std::filesystem::path& dir, const std::vector<std::string>& args,
                       const std::string& stdoutFile = "stdout.txt") {
    ToolRun run;
    const pid_t pid = spawnTool(dir, args, stdoutFile);
    if (pid < 0) return run;
    int wstatus = 0;
    struct rusage usage {};
    ::wait4(pid, &wstatus, 0, &usage);
    run.maxRssKb = usage.ru_maxrss;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    if (stdoutFile == "stdout.txt") run.out = readFile(dir / "stdout.txt");
    run.err = readFile(dir / "stderr.txt");
    return run;
}

#endif

}  // namespace vk::tool::testing_support
