#include "batch/child.h"

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

#include "batch/machine.h"

extern char** environ;

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

bool makePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  readEnd = UniqueFd(fds[0]);
  writeEnd = UniqueFd(fds[1]);
  return true;
}

}  // namespace

Problem spawnPostergen(const std::string& postergen, int directory, Child& child) {
  UniqueFd outWrite;
  UniqueFd errWrite;
  if (!makePipe(child.out, outWrite) || !makePipe(child.err, errWrite))
    return systemProblem("cannot make a pipe");
  SpawnSetup setup;
  posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&setup.actions, outWrite.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, errWrite.get(), STDERR_FILENO);
  // By descriptor: a run directory swapped for a link meanwhile changes nothing.
  posix_spawn_file_actions_addfchdir_np(&setup.actions, directory);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&setup.attributes, &signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&signals, s);
  posix_spawnattr_setsigdefault(&setup.attributes, &signals);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char* argv[] = {const_cast<char*>(postergen.c_str()), nullptr};
  const int spawned =
      posix_spawn(&child.pid, postergen.c_str(), &setup.actions, &setup.attributes, argv, environ);
  if (spawned != 0) {
    child.out = UniqueFd();
    child.err = UniqueFd();
    return Problem{spawned, "cannot run " + postergen + ": " + std::strerror(spawned)};
  }
  return Problem{};
}

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

void samplePeak(Child& child) {
  std::ifstream status("/proc/" + std::to_string(child.pid) + "/status");
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
  while (wait4(child.pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  child.maxrssBytes = static_cast<int64_t>(usage.ru_maxrss) * 1024;  // KiB on Linux
  Termination how;
  how.signalled = WIFSIGNALED(status);
  how.code = how.signalled ? WTERMSIG(status) : WEXITSTATUS(status);
  return how;
}

FinishedRun runToEnd(const std::string& postergen, int directory, int stallSeconds) {
  using Clock = std::chrono::steady_clock;
  FinishedRun run;
  Child child;
  run.problem = spawnPostergen(postergen, directory, child);
  if (run.problem) return run;
  struct pollfd fds[3] = {
      {stopFd(), POLLIN, 0}, {child.out.get(), POLLIN, 0}, {child.err.get(), POLLIN, 0}};
  std::string* texts[3] = {nullptr, &run.out, &run.log};
  int open = 2;
  Clock::time_point heard = Clock::now();
  while (open > 0) {
    const int ready = poll(fds, 3, 1000);
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents && !run.stoppedBy) {
      run.stoppedBy = takeStopSignal();
      kill(child.pid, SIGTERM);
    }
    for (int i = 1; i < 3; ++i) {
      if (fds[i].fd < 0 || !fds[i].revents) continue;
      heard = Clock::now();
      if (!readInto(fds[i].fd, *texts[i])) {
        fds[i].fd = -1;
        --open;
      }
    }
    if (stallSeconds > 0 && Clock::now() - heard > std::chrono::seconds(stallSeconds)) {
      // Then SIGKILL, should SIGTERM not end it either.
      kill(child.pid, run.stalled ? SIGKILL : SIGTERM);
      run.stalled = true;
      heard = Clock::now();
    }
  }
  run.how = reap(child);
  run.peakBytes = child.maxrssBytes;
  return run;
}
