#pragma once
// Runs a built executable as a real child process, standard output and
// standard error captured, for the tests that check what a user sees.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/TempDir.h"

namespace keldro::testing {

struct ProcessOutcome {
    std::string out;
    std::string err;
    int code = -1;   // exit code, -1 when the child did not exit normally
    int signal = 0;  // the signal that ended the child, 0 when it exited
};

struct ProcessLimits {
    // Non-zero: caps the size of any file the child writes.
    rlim_t fileLimit = 0;
    // With SIGXFSZ ignored (it survives exec) a write past the cap fails with
    // EFBIG instead of killing the child, even for root; otherwise SIGXFSZ
    // kills the child in the middle of that write.
    bool limitKills = false;
    // SIGINT and SIGTERM ignored, as nohup or `&` in a script start a program.
    bool interruptsIgnored = false;
};

// Sets the umask that children started meanwhile inherit, and restores the
// old one: a test that looks at the modes of new files fixes what a file made
// with the default mode would get.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(old_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t old_;
};

// Starts `exe` with `args` in `cwd`; collect it with finishProcess.
inline pid_t startProcess(const std::string& exe, const std::vector<std::string>& args, const std::string& cwd,
                          ProcessLimits limits = {}) {
    const std::string outPath = cwd + "/.stdout", errPath = cwd + "/.stderr";
    pid_t pid = ::fork();
    if (pid == 0) {
        int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 || ::chdir(cwd.c_str()) != 0) _exit(127);
        // Signals end the child as they would a program started from a terminal,
        // even when this process was started with some of them ignored.
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
        if (limits.interruptsIgnored)
            for (int sig : {SIGINT, SIGTERM}) ::signal(sig, SIG_IGN);
        if (limits.fileLimit != 0) {
            ::signal(SIGXFSZ, limits.limitKills ? SIG_DFL : SIG_IGN);
            const struct rlimit limit { limits.fileLimit, limits.fileLimit };
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
        }
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Waits for the child started in `cwd` and collects what it printed.
inline ProcessOutcome finishProcess(pid_t pid, const std::string& cwd) {
    const std::string outPath = cwd + "/.stdout", errPath = cwd + "/.stderr";
    ProcessOutcome r;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid) {
        if (WIFEXITED(status)) r.code = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    }
    r.out = readText(outPath);
    r.err = readText(errPath);
    ::unlink(outPath.c_str());
    ::unlink(errPath.c_str());
    return r;
}

inline ProcessOutcome runProcess(const std::string& exe, const std::vector<std::string>& args, const std::string& cwd,
                                 ProcessLimits limits = {}) {
    return finishProcess(startProcess(exe, args, cwd, limits), cwd);
}

}  // namespace keldro::testing
