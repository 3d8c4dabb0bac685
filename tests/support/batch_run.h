// Runs the built postergen-batch (and postergen in any directory) for the
// batch's end-to-end tests, capturing exit status and output.
#ifndef POSTERGEN_TESTS_SUPPORT_BATCH_RUN_H_
#define POSTERGEN_TESTS_SUPPORT_BATCH_RUN_H_

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

struct ProcessResult {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;
  std::string err;
};

// The environment the batch tests run with: SDL's software renderer.
std::map<std::string, std::string> softwareRenderer();

// A started postergen-batch, waited for by finish().
class BatchProcess {
 public:
  explicit BatchProcess(const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& env = softwareRenderer());
  ~BatchProcess();
  BatchProcess(const BatchProcess&) = delete;
  BatchProcess& operator=(const BatchProcess&) = delete;
  pid_t pid() const { return pid_; }
  ProcessResult finish();

 private:
  pid_t pid_ = -1;
  std::string outPath_;
  std::string errPath_;
};

ProcessResult runBatch(const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& env = softwareRenderer());

// Runs postergen in directory, as a scheduler's task would.
ProcessResult runPostergenIn(const std::string& directory);

// Runs a shell command line with the built programs' folder first on PATH.
ProcessResult runShell(const std::string& commandLine);

// The built postergen.
std::string postergenBinary();

// The lines of text.
std::vector<std::string> splitLines(const std::string& text);

#endif  // POSTERGEN_TESTS_SUPPORT_BATCH_RUN_H_
