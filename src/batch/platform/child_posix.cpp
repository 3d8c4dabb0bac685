#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

#include "batch/platform/child.h"
#include "batch/platform/machine.h"
#include "platform/cpus.h"

extern char** environ;

struct ChildState {
  pid_t pid = -1;
  Handle out;
  Handle err;
  bool ended = false;  // the process has ended, though maybe not its streams
  std::chrono::steady_clock::time_point endedAt;
};

namespace {

struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

bool makePipe(Handle& readEnd, Handle& writeEnd) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  readEnd = Handle(fds[0]);
  writeEnd = Handle(fds[1]);
  return true;
}

// How long the pipes of an ended process may stay open (held by a process
// it started) before they count as ended: enough to read what it wrote last.
constexpr auto kDrainTime = std::chrono::seconds(2);

int fdOf(const Handle& handle) { return static_cast<int>(handle.get()); }

// True once the process has ended; it stays to be reaped.
bool hasEnded(ChildState& state) {
  if (!state.ended) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(state.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == state.pid) {
      state.ended = true;
      state.endedAt = std::chrono::steady_clock::now();
    }
  }
  return state.ended;
}

// Appends what fd holds to text; false at the end of the stream.
bool readInto(int fd, std::string& text) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<size_t>(n));
      return true;
    }
    if (n == 0) return false;
    if (errno != EINTR) return errno == EAGAIN;
  }
}

}  // namespace

Child::Child() : state(std::make_unique<ChildState>()) {}
Child::~Child() = default;
Child::Child(Child&&) noexcept = default;
Child& Child::operator=(Child&&) noexcept = default;

Problem spawnPostergen(const std::string& postergen, const Directory& directory, Child& child,
                       const std::vector<int>& cpus) {
  ChildState& state = *child.state;
  Handle outWrite;
  Handle errWrite;
  if (!makePipe(state.out, outWrite) || !makePipe(state.err, errWrite))
    return systemProblem("cannot make a pipe");
  SpawnSetup setup;
  posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&setup.actions, fdOf(outWrite), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, fdOf(errWrite), STDERR_FILENO);
  // By descriptor: a run directory swapped for a link meanwhile changes nothing.
  posix_spawn_file_actions_addfchdir_np(&setup.actions, static_cast<int>(directory.handle.get()));
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&setup.attributes, &signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&signals, s);
  posix_spawnattr_setsigdefault(&setup.attributes, &signals);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char* argv[] = {const_cast<char*>(postergen.c_str()), nullptr};
  // The child inherits the spawning thread's affinity, which is the
  // batch's own again right after.
  const std::vector<int> own = cpus.empty() ? cpus : allowedCpus();
  if (!cpus.empty()) limitThisThreadTo(cpus);
  const int spawned =
      posix_spawn(&state.pid, postergen.c_str(), &setup.actions, &setup.attributes, argv, environ);
  if (!cpus.empty()) limitThisThreadTo(own);
  if (spawned != 0) {
    state.out = Handle();
    state.err = Handle();
    return Problem{spawned, "cannot run " + postergen + ": " + std::strerror(spawned)};
  }
  child.outOpen = child.errOpen = true;
  return Problem{};
}

std::vector<Output> waitForOutput(const std::vector<Child*>& children, int timeoutMs) {
  std::vector<pollfd> fds{{stopFd(), POLLIN, 0}};
  for (const Child* child : children) {
    fds.push_back({child->outOpen ? fdOf(child->state->out) : -1, POLLIN, 0});
    fds.push_back({child->errOpen ? fdOf(child->state->err) : -1, POLLIN, 0});
  }
  std::vector<Output> came;
  if (poll(fds.data(), fds.size(), timeoutMs) < 0) return came;  // EINTR: the stop pipe tells why
  if (fds[0].revents) takeStopSignal();
  for (size_t i = 0; i < children.size(); ++i) {
    for (const bool log : {false, true}) {
      if (!fds[1 + 2 * i + (log ? 1 : 0)].revents) continue;
      Child& child = *children[i];
      Output output{i, log, "", false};
      output.ended = !readInto(fdOf(log ? child.state->err : child.state->out), output.text);
      if (output.ended) {
        (log ? child.state->err : child.state->out) = Handle();
        (log ? child.errOpen : child.outOpen) = false;
      }
      came.push_back(std::move(output));
    }
  }
  for (size_t i = 0; i < children.size(); ++i) {
    Child& child = *children[i];
    if ((!child.outOpen && !child.errOpen) || !hasEnded(*child.state) ||
        std::chrono::steady_clock::now() - child.state->endedAt < kDrainTime)
      continue;
    for (const bool log : {false, true}) {
      bool& open = log ? child.errOpen : child.outOpen;
      if (open) came.push_back({i, log, "", true});
      open = false;
      (log ? child.state->err : child.state->out) = Handle();
    }
  }
  return came;
}

void endChild(Child& child, Ending ending) {
  if (child.state->pid > 0) kill(child.state->pid, ending == Ending::kKill ? SIGKILL : SIGTERM);
}

void samplePeak(Child& child) {
  std::ifstream status("/proc/" + std::to_string(child.state->pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) != 0) continue;
    std::istringstream fields(line.substr(6));
    int64_t kib = 0;
    if (fields >> kib) child.peakBytes = std::max(child.peakBytes, kib * 1024);
    return;
  }
}

Termination reap(Child& child) {
  int status = 0;
  struct rusage usage {};
  while (wait4(child.state->pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  child.state->pid = -1;
  child.boundBytes = static_cast<int64_t>(usage.ru_maxrss) * 1024;  // KiB on Linux
  Termination how;
  how.signalled = WIFSIGNALED(status);
  how.code = how.signalled ? WTERMSIG(status) : WEXITSTATUS(status);
  return how;
}
