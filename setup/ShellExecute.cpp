#include "setup/ShellExecute.h"

#include <cerrno>
#include <climits>
#include <spawn.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace morbek::shell {

namespace {

uint32_t g_lastError = 0;

constexpr intptr_t SE_ERR_FNF = 2;
constexpr intptr_t SE_ERR_NOASSOC = 31;
constexpr intptr_t kStarted = 42; // any value above 32 means success

bool Fail(SHELLEXECUTEINFOA* info, uint32_t error, intptr_t instApp) {
    g_lastError = error;
    if (info)
        info->hInstApp = instApp;
    return false;
}

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    const size_t n = std::char_traits<char>::length(suffix);
    return text.size() > n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

// The folder of the running program, where the installer ships beside it.
std::string OwnFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

uint32_t lastError() {
    return g_lastError;
}

bool ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOA) || !info->lpFile || !*info->lpFile)
        return Fail(info, ERROR_INVALID_PARAMETER, SE_ERR_FNF);
    info->hProcess = 0;

    std::string file = info->lpFile;
    if (file.front() != '/') {
        std::string base;
        if (info->lpDirectory && *info->lpDirectory) {
            base = info->lpDirectory;
        } else {
            char cwd[PATH_MAX];
            if (!::getcwd(cwd, sizeof cwd))
                return Fail(info, ERROR_FILE_NOT_FOUND, SE_ERR_FNF);
            base = cwd;
        }
        file = base + '/' + file;
    }
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return Fail(info, ERROR_FILE_NOT_FOUND, SE_ERR_FNF);

    const char* verb = info->lpVerb ? info->lpVerb : "open";
    if (strcasecmp(verb, "Install") != 0 || !EndsWithNoCase(file, ".inf"))
        return Fail(info, ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC);

    const std::string folder = OwnFolder();
    const std::string installer = folder + "/infinstall";
    if (folder.empty() || ::access(installer.c_str(), X_OK) != 0)
        return Fail(info, ERROR_FILE_NOT_FOUND, SE_ERR_NOASSOC);

    // The action's own command line: the section to carry out and the file. The
    // request's parameters have no place in it.
    std::string section = "DefaultInstall";
    char* argv[] = {const_cast<char*>("infinstall"), section.data(), file.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, installer.c_str(), nullptr, nullptr, argv, environ) != 0)
        return Fail(info, ERROR_FILE_NOT_FOUND, SE_ERR_FNF);

    info->hInstApp = kStarted;
    // Without SEE_MASK_NOCLOSEPROCESS the caller gets no handle; the child is then
    // reaped by whoever outlives it.
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS)
        info->hProcess = pid;
    g_lastError = 0;
    return true;
}

uint32_t WaitForSingleObject(pid_t process, uint32_t milliseconds) {
    if (process <= 0)
        return WAIT_FAILED;
    if (milliseconds == INFINITE) {
        for (;;) {
            const pid_t r = ::waitpid(process, nullptr, 0);
            if (r == process)
                return WAIT_OBJECT_0;
            if (r < 0 && errno != EINTR)
                return WAIT_FAILED;
        }
    }
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        const pid_t r = ::waitpid(process, nullptr, WNOHANG);
        if (r == process)
            return WAIT_OBJECT_0;
        if (r < 0 && errno != EINTR)
            return WAIT_FAILED;
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const long long elapsed =
            (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsed >= static_cast<long long>(milliseconds))
            return WAIT_TIMEOUT;
        ::usleep(10000);
    }
}

} // namespace morbek::shell
