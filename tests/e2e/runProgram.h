#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// Running the real executable from tests, in a directory of its own.
namespace bramblewisp::e2e {

struct RunSettings {
    std::filesystem::path workingDirectory = ".";
    uint64_t addressSpaceLimit = 0;         // bytes, as RLIMIT_AS; 0 leaves it as it is
    bool unprivileged = false;              // as uid and gid 65534 without groups, since
                                            // root ignores permission bits (needs root;
                                            // see OtherUserStage)
    uint64_t fileSizeLimit = 0;             // bytes, as RLIMIT_FSIZE: a full disk; 0 leaves it
    uint64_t dataLimit = 0;                 // bytes, as RLIMIT_DATA; 0 leaves it
    int standardOutput = -1;                // a descriptor to write to instead of capturing
    std::vector<std::string> environment{}; // "NAME=value", before ours
    unsigned timeoutSeconds = 0;            // SIGALRM ends a run that takes longer; 0: none
    bool hideProc = false;                  // an empty /proc, in a mount namespace of its own
};

// The exit status of a run whose /proc could not be hidden (no namespaces).
inline constexpr int kCannotHideProc = 125;

// Sanitized programs reserve terabytes of address space up front, so runs
// under an address-space limit fail before main and say nothing about ours.
#ifdef BRAMBLEWISP_SANITIZED
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif

struct RunResult {
    int exitStatus = -1; // -1 when a signal ended the program
    int signal = 0;      // the signal that ended it, else 0
    std::string out;
    std::string err;

    // "exit 1, stderr: ..." for failure messages.
    std::string describe() const;
};

// Runs program (also passed as argv[0]) with arguments and waits for it.
RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunSettings& settings);

// The bramblewisp executable of this build.
RunResult runBramblewisp(const std::vector<std::string>& arguments, const RunSettings& settings);

// A fresh directory under parent (the system's temporary directory unless
// given), removed with everything in it when the object goes, even when a
// test left it read-only.
class TempDir {
  public:
    explicit TempDir(const std::filesystem::path& parent = std::filesystem::temp_directory_path());
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return root; }
    std::vector<std::string> entries() const;        // names, sorted
    std::string read(const std::string& name) const; // empty when missing
    void write(const std::string& name, const std::string& bytes) const;

  private:
    std::filesystem::path root;
};

// Where user 65534 can run a copy of this build's program: a fresh directory
// that every user may enter, under the first of the temporary directory,
// /tmp, /var/tmp and /dev/shm where a trial run of the copy gets through. The
// build itself may sit where that user cannot reach (a private clone, a
// private temporary directory).
class OtherUserStage {
  public:
    OtherUserStage();

    // Empty when staged, else what is missing, for a skipped test.
    const std::string& problem() const { return whyNot; }
    // Working directories of the other user's runs go here (see TempDir).
    const std::filesystem::path& path() const { return root->path(); }
    RunResult run(const std::vector<std::string>& arguments,
                  const std::filesystem::path& workingDirectory) const;

  private:
    std::unique_ptr<TempDir> root;
    std::string whyNot;
};

// A stage for tests of read-only directories where the permission bits do
// not bind this process (root, or whoever else may override them, writes
// into a read-only directory anyway); null where they bind it.
std::unique_ptr<OtherUserStage> stageWherePermissionsDoNotBind();

} // namespace bramblewisp::e2e
