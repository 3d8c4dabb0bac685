#include "batch/platform/machine.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

int stopPipe[2] = {-1, -1};
volatile std::sig_atomic_t lastStopSignal = 0;
volatile std::sig_atomic_t stopSignals = 0;

void onStop(int signal) {
  lastStopSignal = signal;
  stopSignals = stopSignals + 1;
  const char byte = 1;
  const int saved = errno;
  [[maybe_unused]] const ssize_t written = write(stopPipe[1], &byte, 1);
  errno = saved;
}

bool executable(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::vector<std::string> startProgram(int argc, char** argv) {
  catchStopSignals();
  return std::vector<std::string>(argv + 1, argv + argc);
}

int exitStatusOnThisPlatform(int status) { return status; }

bool errorIsTerminal() { return isatty(STDERR_FILENO); }

void lowerThisThreadsPriority() {
#ifdef __linux__
  // Linux gives each thread a nice value of its own.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
#endif
}

int64_t availableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  for (std::string line; std::getline(meminfo, line);) {
    std::istringstream fields(line);
    std::string name;
    int64_t kib = 0;
    if (fields >> name >> kib && name == "MemAvailable:") return kib * 1024;
  }
  return static_cast<int64_t>(sysconf(_SC_AVPHYS_PAGES)) * sysconf(_SC_PAGESIZE);
}

std::string findPostergen(const std::string& choice) {
  std::string found;
  if (choice.find('/') != std::string::npos) {
    found = choice;
  } else if (choice.empty()) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
      const std::string path(self, static_cast<size_t>(n));
      const std::string beside = path.substr(0, path.rfind('/') + 1) + "postergen";
      if (executable(beside)) found = beside;
    }
  }
  const char* path = std::getenv("PATH");
  std::istringstream entries(path ? path : "/usr/local/bin:/usr/bin:/bin");
  for (std::string entry; found.empty() && std::getline(entries, entry, ':');) {
    const std::string candidate =
        (entry.empty() ? "." : entry) + "/" + (choice.empty() ? "postergen" : choice);
    if (executable(candidate)) found = candidate;
  }
  if (found.empty() || !executable(found)) return "";
  if (found[0] == '/') return found;
  char here[PATH_MAX];
  return getcwd(here, sizeof here) ? std::string(here) + "/" + found : "";
}

std::string absoluteDirectory(const std::string& path) {
  char resolved[PATH_MAX];
  struct stat info;
  if (!realpath(path.c_str(), resolved) || stat(resolved, &info) != 0 || !S_ISDIR(info.st_mode))
    return "";
  return resolved;
}

void catchStopSignals() {
  if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = onStop;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

int stopFd() { return stopPipe[0]; }

void takeStopSignal() {
  char bytes[64];
  while (read(stopPipe[0], bytes, sizeof bytes) > 0) {
  }
}

int stopSignal() { return lastStopSignal; }

int stopSignalCount() { return stopSignals; }
