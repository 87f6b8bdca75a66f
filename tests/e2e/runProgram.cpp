#include "e2e/runProgram.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bramblewisp::e2e {

namespace {

constexpr uid_t kNobody = 65534;

std::string readAndClose(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, n);
    }
    std::fclose(file);
    return text;
}

// The child's own failures, told apart from the program's by their status:
// 126 while setting up, 127 when the program cannot be started. The program
// itself never exits with either.
template <std::size_t N> [[noreturn]] void childFails(const char (&message)[N], int status) {
    if (write(STDERR_FILENO, message, N - 1) < 0 || write(STDERR_FILENO, "\n", 1) < 0) {
        _exit(status);
    }
    _exit(status);
}

// Between fork and exec only plain system calls: the child is a copy of a
// process that may hold locks.
[[noreturn]] void execChild(char** argv, char** environment, const char* directory, std::FILE* out,
                            std::FILE* err, const RunSettings& settings) {
    const rlimit limit{settings.addressSpaceLimit, settings.addressSpaceLimit};
    const rlimit fileSize{settings.fileSizeLimit, settings.fileSizeLimit};
    const rlimit data{settings.dataLimit, settings.dataLimit};
    const int outFd = settings.standardOutput >= 0 ? settings.standardOutput : fileno(out);
    if (dup2(outFd, STDOUT_FILENO) < 0 || dup2(fileno(err), STDERR_FILENO) < 0) {
        _exit(126);
    }
    // As a shell starts a program in the foreground: no signal ignored or
    // held back. A test process started in the background ignores SIGINT,
    // the program keeps a signal that its caller ignores, and the Ctrl+C
    // tests would then see nothing stop.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP) {
            sigaction(signal, &byDefault, nullptr); // fails harmlessly for the reserved ones
        }
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Private first, so that the empty /proc never reaches the tests' own view.
    if (settings.hideProc && (unshare(CLONE_NEWNS) != 0 ||
                              mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                              mount("none", "/proc", "tmpfs", 0, nullptr) != 0)) {
        _exit(kCannotHideProc);
    }
    if ((settings.addressSpaceLimit != 0 && setrlimit(RLIMIT_AS, &limit) != 0) ||
        (settings.fileSizeLimit != 0 && setrlimit(RLIMIT_FSIZE, &fileSize) != 0) ||
        (settings.dataLimit != 0 && setrlimit(RLIMIT_DATA, &data) != 0)) {
        childFails("cannot set the resource limits", 126);
    }
    if (settings.unprivileged &&
        (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
         setresuid(kNobody, kNobody, kNobody) != 0)) {
        childFails("cannot become user 65534 (needs root)", 126);
    }
    // After the change of user: the directory must be that user's to enter.
    if (chdir(directory) != 0) {
        childFails("cannot enter the working directory", 126);
    }
    alarm(settings.timeoutSeconds); // survives exec
    execve(argv[0], argv, environment);
    childFails("cannot start the program (can the user reach it?)", 127);
}

} // namespace

std::string RunResult::describe() const {
    return (signal != 0 ? "signal " + std::to_string(signal)
                        : "exit " + std::to_string(exitStatus)) +
           ", stderr: " + err;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunSettings& settings) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const std::string directory = settings.workingDirectory.string();
    // Ours first: the first of two equal names wins.
    std::vector<std::string> variables = settings.environment;
    std::vector<char*> environment;
    for (std::string& variable : variables) {
        environment.push_back(variable.data());
    }
    for (char** variable = environ; *variable != nullptr; ++variable) {
        environment.push_back(*variable);
    }
    environment.push_back(nullptr);

    // Unnamed files rather than pipes: nothing has to drain two pipes at once.
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const pid_t pid = out != nullptr && err != nullptr ? fork() : -1;
    if (pid == 0) {
        execChild(argv.data(), environment.data(), directory.c_str(), out, err, settings);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        throw std::runtime_error("cannot run " + program);
    }
    RunResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.out = readAndClose(out);
    result.err = readAndClose(err);
    return result;
}

RunResult runBramblewisp(const std::vector<std::string>& arguments, const RunSettings& settings) {
    return runProgram(BRAMBLEWISP_BINARY, arguments, settings);
}

TempDir::TempDir(const std::filesystem::path& parent) {
    std::string pattern = parent / "bramblewisp-e2e-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    root = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root, ignored);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream in(root / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
    if (!(std::ofstream(root / name, std::ios::binary) << bytes)) {
        throw std::runtime_error("cannot write " + name);
    }
}

OtherUserStage::OtherUserStage() {
    namespace fs = std::filesystem;
    std::error_code unset;
    std::string tried; // each place and why it failed
    const std::vector<fs::path> places{fs::temp_directory_path(unset), "/tmp", "/var/tmp",
                                       "/dev/shm"};
    for (auto place = places.begin(); place != places.end(); ++place) {
        const fs::path& parent = *place;
        if (parent.empty() || std::find(places.begin(), place, parent) != place) {
            continue;
        }
        tried += (tried.empty() ? "" : "; ") + parent.string() + ": ";
        fs::path copy;
        try {
            root = std::make_unique<TempDir>(parent);
            copy = root->path() / "bramblewisp";
            fs::permissions(root->path(), fs::perms(0755));
            fs::copy_file(BRAMBLEWISP_BINARY, copy);
            fs::permissions(copy, fs::perms(0755));
        } catch (const std::exception& problem) {
            tried += problem.what();
            root.reset();
            continue;
        }
        // The usage text: no file is written, nothing but the start is tried.
        const RunResult trial = runProgram(copy.string(), {}, {root->path(), 0, true});
        if (trial.exitStatus != 126 && trial.exitStatus != 127) {
            return;
        }
        root.reset();
        tried += trial.err.substr(0, trial.err.find('\n'));
        if (trial.err.starts_with("cannot become")) {
            break; // no other place helps
        }
    }
    whyNot = "user 65534 cannot run a copy of the program (" + tried + ")";
}

RunResult OtherUserStage::run(const std::vector<std::string>& arguments,
                              const std::filesystem::path& workingDirectory) const {
    return runProgram((path() / "bramblewisp").string(), arguments, {workingDirectory, 0, true});
}

std::unique_ptr<OtherUserStage> stageWherePermissionsDoNotBind() {
    TempDir probe;
    std::filesystem::permissions(probe.path(), std::filesystem::perms(0555));
    if (!std::ofstream(probe.path() / "probe")) {
        return nullptr;
    }
    return std::make_unique<OtherUserStage>();
}

} // namespace bramblewisp::e2e
