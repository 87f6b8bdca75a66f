#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include <fcntl.h>
#include <io.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/platform.h"

namespace bramblewisp::platform {

namespace {

// The system's own words for a Win32 error code, without the trailing period
// and line break, so that it reads like the reasons given elsewhere.
std::string reasonFor(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = length != 0 && text != nullptr ? std::string(text, length) : "";
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason.empty() ? "error " + std::to_string(error) : reason;
}

// Paths arrive in the narrow form that fopen takes, so they are widened the
// way fopen widens them: through the ANSI code page.
std::wstring widen(const std::string& path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
    wide.pop_back();
    return wide;
}

// Saves may run on several threads at once.
std::atomic<unsigned> temporarySerial{0};

// Ctrl+C or Ctrl+Break, once catchEndingSignals has been called, as the
// POSIX systems' signal numbers.
std::atomic<int> caughtControl{0};

BOOL WINAPI onConsoleControl(DWORD type) {
    const int signal = type == CTRL_C_EVENT ? SIGINT : type == CTRL_BREAK_EVENT ? SIGBREAK : 0;
    int none = 0;
    // Anything else, or a second one, takes the default: the process ends,
    // and the temporary files marked for deletion go with it.
    return signal != 0 && caughtControl.compare_exchange_strong(none, signal) ? TRUE : FALSE;
}

bool setDeletedOnClose(HANDLE handle, bool deleted) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleted ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof(disposition)) != 0;
}

} // namespace

// Windows gives large pages only to privileged processes, so these are plain
// allocations.
void* allocateLarge(std::size_t bytes) {
    return ::operator new(bytes);
}

void releaseLarge(void* block, std::size_t) {
    ::operator delete(block);
}

void prepareProcess() {
    // In text mode the runtime would write every "\n" as "\r\n"; binary mode
    // keeps the console bytes the same as on every other system, and the
    // console itself still starts a new line on a bare "\n".
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool isTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

int64_t counterFrequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

int64_t counterNow() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// The processors of the process's affinity mask, which lie in one processor
// group: the threads it starts stay there.
int usableCores() {
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) {
        return 1;
    }
    return std::popcount(static_cast<uint64_t>(process));
}

uint64_t availableBytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) {
        // The call does not fail for a valid record; were it to, unknown is
        // treated as plenty.
        return std::numeric_limits<uint64_t>::max();
    }
    return status.ullAvailPageFile;
}

uint32_t committableBytes() {
    return static_cast<uint32_t>(
        std::min<uint64_t>(availableBytes(), std::numeric_limits<uint32_t>::max()));
}

TemporaryFile createTemporaryFile(const std::string& nextTo, std::string& reason) {
    // CREATE_NEW fails on an existing name, so a name taken by someone else is
    // never opened; the process id and a counter make a clash unlikely anyway.
    const DWORD process = GetCurrentProcessId();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof(suffix), ".%lu.%u.tmp", static_cast<unsigned long>(process),
                      temporarySerial++);
        const std::string path = nextTo + suffix;
        HANDLE handle = CreateFileW(widen(path).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
                continue;
            }
            reason = reasonFor(error);
            return {};
        }
        // Deleted when its handle closes, however the process ends (Ctrl+C,
        // a kill), until syncFile keeps it. Best effort: without it, only a
        // normal failure removes the file.
        setDeletedOnClose(handle, true);
        const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
        if (descriptor < 0) {
            CloseHandle(handle);
            DeleteFileW(widen(path).c_str());
            reason = "cannot open a temporary file";
            return {};
        }
        std::FILE* file = _fdopen(descriptor, "wb");
        if (file == nullptr) {
            _close(descriptor);
            DeleteFileW(widen(path).c_str());
            reason = "cannot open a temporary file";
            return {};
        }
        return {file, path};
    }
    reason = reasonFor(ERROR_FILE_EXISTS);
    return {};
}

std::FILE* openRegularFile(const std::string& path, std::string& problem) {
    // Opening never waits on Windows, but a pipe or a device must not be read
    // as a font; a directory does not open at all.
    std::FILE* file = _wfopen(widen(path).c_str(), L"rb");
    if (file == nullptr) {
        const int error = errno;
        const DWORD attributes = GetFileAttributesW(widen(path).c_str());
        const bool directory =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        problem = directory ? "is not a regular file"
                            : std::string("cannot be opened: ") + std::strerror(error);
        errno = directory ? 0 : error;
        return nullptr;
    }
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
        std::fclose(file);
        problem = "is not a regular file";
        errno = 0;
        return nullptr;
    }
    return file;
}

// A symbolic link or junction is a reparse point; pipes and devices have no
// place among the files of a directory.
PathKind pathKind(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES              ? PathKind::missing
           : (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? PathKind::symbolicLink
           : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0     ? PathKind::directory
                                                              : PathKind::regularFile;
}

bool syncFile(std::FILE* file, std::string& reason) {
    if (std::fflush(file) != 0) {
        reason = "write failed";
        return false;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (!FlushFileBuffers(handle) || !setDeletedOnClose(handle, false)) {
        reason = reasonFor(GetLastError());
        return false;
    }
    return true;
}

bool replaceFile(const TemporaryFile& from, const std::string& to, std::string& reason) {
    // Write-through: the call returns only once the move is on the disk.
    if (!MoveFileExW(widen(from.path).c_str(), widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = reasonFor(GetLastError());
        return false;
    }
    return true;
}

void removeTemporaryFile(const TemporaryFile& temporary) {
    DeleteFileW(widen(temporary.path).c_str());
}

void catchEndingSignals() {
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

int caughtEndingSignal() {
    return caughtControl.load(std::memory_order_relaxed);
}

// As the console's own Ctrl+C handling ends a process.
void endBySignal(int) {
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

// In the ANSI code page, the form fopen takes; a path that it cannot spell
// counts as unknown.
std::string executablePath() {
    std::wstring wide(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
    if (length == 0 || length >= wide.size()) {
        return {};
    }
    BOOL lossy = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                          static_cast<int>(length), nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy) {
        return {};
    }
    std::string path(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(length),
                        path.data(), bytes, nullptr, nullptr);
    return path;
}

std::string installedDataDirectory() {
    const std::string program = executablePath();
    const std::size_t slash = program.find_last_of("\\/");
    return slash == std::string::npos ? std::string{} : program.substr(0, slash + 1);
}

} // namespace bramblewisp::platform
