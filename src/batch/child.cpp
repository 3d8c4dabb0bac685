#include "batch/child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

void closeBoth(int fds[2]) {
  close(fds[0]);
  close(fds[1]);
}

}  // namespace

std::string spawnPostergen(const std::string& postergen, const std::string& directory,
                           Child& child) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return std::string("cannot make a pipe: ") + std::strerror(errno);
  if (pipe2(err, O_CLOEXEC) != 0) {
    const int error = errno;
    closeBoth(out);
    return std::string("cannot make a pipe: ") + std::strerror(error);
  }
  SpawnSetup setup;
  posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&setup.actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addchdir_np(&setup.actions, directory.c_str());
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&setup.attributes, &signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&signals, s);
  posix_spawnattr_setsigdefault(&setup.attributes, &signals);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char* argv[] = {const_cast<char*>(postergen.c_str()), nullptr};
  const int spawned =
      posix_spawn(&child.pid, postergen.c_str(), &setup.actions, &setup.attributes, argv, environ);
  close(out[1]);
  close(err[1]);
  if (spawned != 0) {
    close(out[0]);
    close(err[0]);
    return "cannot run " + postergen + ": " + std::strerror(spawned);
  }
  child.outFd = out[0];
  child.errFd = err[0];
  return "";
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

Termination reap(pid_t pid, int64_t& peakBytes) {
  int status = 0;
  struct rusage usage {};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  peakBytes = static_cast<int64_t>(usage.ru_maxrss) * 1024;  // KiB on Linux
  Termination how;
  how.signalled = WIFSIGNALED(status);
  how.code = how.signalled ? WTERMSIG(status) : WEXITSTATUS(status);
  return how;
}

FinishedRun runToEnd(const std::string& postergen, const std::string& directory) {
  FinishedRun run;
  Child child;
  run.error = spawnPostergen(postergen, directory, child);
  if (!run.error.empty()) return run;
  struct pollfd fds[2] = {{child.outFd, POLLIN, 0}, {child.errFd, POLLIN, 0}};
  std::string* texts[2] = {&run.out, &run.log};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !fds[i].revents) continue;
      if (!readInto(fds[i].fd, *texts[i])) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const auto& fd : fds)
    if (fd.fd >= 0) close(fd.fd);
  run.how = reap(child.pid, run.peakBytes);
  return run;
}
