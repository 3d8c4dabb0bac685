#include "support/batch_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string scratchFile() {
  std::string pattern = std::filesystem::temp_directory_path() / "postergen-batch-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  return pattern;
}

pid_t start(const std::string& program, const std::vector<std::string>& args,
            const std::string& directory, const std::map<std::string, std::string>& env,
            const std::string& outPath, const std::string& errPath) {
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child > 0) return child;
  const int out = open(outPath.c_str(), O_WRONLY | O_TRUNC);
  const int err = open(errPath.c_str(), O_WRONLY | O_TRUNC);
  if (out < 0 || err < 0 || (!directory.empty() && chdir(directory.c_str()) != 0)) _exit(120);
  dup2(out, STDOUT_FILENO);
  dup2(err, STDERR_FILENO);
#ifdef POSTERGEN_SANITIZED
  setenv("ASAN_OPTIONS", "detect_leaks=1", 0);
#endif
  for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(122);
}

ProcessResult await(pid_t pid, const std::string& outPath, const std::string& errPath) {
  int status = 0;
  waitpid(pid, &status, 0);
  ProcessResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = slurp(outPath);
  result.err = slurp(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return result;
}

}  // namespace

std::map<std::string, std::string> softwareRenderer() { return {{"SDL_VIDEODRIVER", "dummy"}}; }

BatchProcess::BatchProcess(const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env)
    : outPath_(scratchFile()), errPath_(scratchFile()) {
  pid_ = start(POSTERGEN_BATCH_BINARY, args, "", env, outPath_, errPath_);
}

BatchProcess::~BatchProcess() {
  if (pid_ > 0) finish();
}

ProcessResult BatchProcess::finish() {
  const ProcessResult result = await(pid_, outPath_, errPath_);
  pid_ = -1;
  return result;
}

ProcessResult runBatch(const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& env) {
  return BatchProcess(args, env).finish();
}

ProcessResult runPostergenIn(const std::string& directory) {
  const std::string outPath = scratchFile();
  const std::string errPath = scratchFile();
  return await(start(POSTERGEN_BINARY, {}, directory, softwareRenderer(), outPath, errPath),
               outPath, errPath);
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string postergenBinary() { return POSTERGEN_BINARY; }

ProcessResult runShell(const std::string& commandLine) {
  const std::string outPath = scratchFile();
  const std::string errPath = scratchFile();
  const std::string bin = std::filesystem::path(POSTERGEN_BATCH_BINARY).parent_path();
  std::map<std::string, std::string> env = softwareRenderer();
  env["PATH"] = bin + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
  return await(start("/bin/sh", {"-c", commandLine}, "", env, outPath, errPath), outPath, errPath);
}
