#include "batch_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace pixhaul::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

// SIGINT sets the flag while this lives; the earlier handler comes back after. No SA_RESTART, so
// a waiting poll() wakes up.
class InterruptFlag {
  public:
    InterruptFlag() {
        interrupted = 0;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptFlag() { sigaction(SIGINT, &previous_, nullptr); }
    InterruptFlag(const InterruptFlag&) = delete;
    InterruptFlag& operator=(const InterruptFlag&) = delete;

  private:
    struct sigaction previous_ {};
};

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    int Get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

struct Running {
    std::size_t index = 0;
    pid_t pid = -1;
    Fd out;
    Fd err;
    ChildResult result;
    std::chrono::steady_clock::time_point start;
};

std::pair<Fd, Fd> MakePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error(std::strerror(errno));
    return {Fd(fds[0]), Fd(fds[1])};
}

// This process's environment with the entries of extra in place of those of the same names.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> all(extra);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('=') + 1);
        const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string& e) {
            return e.compare(0, name.size(), name) == 0;
        });
        if (!replaced) all.emplace_back(text);
    }
    return all;
}

// Starts the child with stdin from /dev/null and stdout, stderr into pipes.
Running Start(const RunnerSettings& settings, const ChildJob& job, std::size_t index) {
    const std::string& program = settings.program;
    auto [outRead, outWrite] = MakePipe();
    auto [errRead, errWrite] = MakePipe();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.Get(), 1);
    posix_spawn_file_actions_adddup2(&actions, errWrite.Get(), 2);
    std::vector<std::string> all = {program};
    all.insert(all.end(), job.args.begin(), job.args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = ChildEnvironment(settings.environment);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    Running child;
    child.index = index;
    child.start = std::chrono::steady_clock::now();
    const int spawned =
        posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot run " + program + ": " + std::strerror(spawned));
    }
    child.result.started = true;
    child.out = std::move(outRead);
    child.err = std::move(errRead);
    return child;
}

// Reads what is there; closes the pipe at its end.
void Drain(Fd& fd, std::string& into) {
    char buffer[65536];
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        fd.Close();
    }
}

void Reap(Running& child) {
    int status = 0;
    while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    child.result.exitCode = WIFEXITED(status)     ? WEXITSTATUS(status)
                            : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                                  : -1;
    child.result.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - child.start)
            .count();
}

}  // namespace

bool RunChildren(const std::vector<ChildJob>& jobs, const RunnerSettings& settings,
                 const std::function<void(std::size_t, const ChildResult&)>& report) {
    const InterruptFlag interruptFlag;
    std::vector<std::optional<ChildResult>> done(jobs.size());
    std::vector<Running> running;
    std::size_t next = 0;
    std::size_t reported = 0;
    bool stop = false;
    bool signalled = false;
    while (next < jobs.size() || !running.empty()) {
        if (interrupted) stop = true;
        while (!stop && next < jobs.size() &&
               running.size() < std::max<std::size_t>(1, settings.parallel)) {
            if (jobs[next].run) {
                running.push_back(Start(settings, jobs[next], next));
            } else {
                done[next] = ChildResult{};
            }
            ++next;
        }
        if (stop) {
            for (; next < jobs.size(); ++next) done[next] = ChildResult{};
            if (interrupted && !signalled) {
                for (const Running& child : running) ::kill(child.pid, SIGINT);
                signalled = true;
            }
        }
        std::vector<pollfd> fds;
        for (const Running& child : running) {
            for (const Fd* fd : {&child.out, &child.err}) {
                if (fd->Get() >= 0) fds.push_back({fd->Get(), POLLIN, 0});
            }
        }
        if (!fds.empty() && ::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        for (auto it = running.begin(); it != running.end();) {
            for (auto [fd, text] :
                 {std::pair{&it->out, &it->result.out}, {&it->err, &it->result.err}}) {
                for (const pollfd& p : fds) {
                    if (p.fd == fd->Get() && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                        Drain(*fd, *text);
                    }
                }
            }
            if (it->out.Get() < 0 && it->err.Get() < 0) {
                Reap(*it);
                if (it->result.exitCode != 0 && settings.stopAfterFailure) stop = true;
                done[it->index] = std::move(it->result);
                it = running.erase(it);
            } else {
                ++it;
            }
        }
        for (; reported < jobs.size() && done[reported]; ++reported) {
            report(reported, *done[reported]);
        }
    }
    return !interrupted;
}

}  // namespace pixhaul::cli
