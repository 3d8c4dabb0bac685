// Windows has no poll over pipes: a thread per pipe reads it and queues
// what it reads, and waitForOutput waits on that queue. The child inherits
// exactly its three standard handles (a handle list), nothing else of the
// batch's. A process that postergen starts may inherit them in turn (Wine
// starts explorer.exe from it for the desktop) and keep the pipes open after
// postergen has ended: so once the process has ended, its streams count as
// ended a moment later, and their reader threads are left to finish alone.
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "batch/platform/child.h"
#include "batch/platform/machine.h"
#include "platform/text_win32.h"

namespace {

// How long the pipes of an ended process may stay open before they count as
// ended: enough for the last output already written to be read.
constexpr auto kDrainTime = std::chrono::seconds(2);

struct Chunk {
  uint64_t child;  // ChildState::id
  bool log;
  std::string text;
  bool ended;
};

std::mutex queueMutex;
std::condition_variable queueChanged;
std::deque<Chunk> queue;
uint64_t lastChildId = 0;

void readPipe(HANDLE pipe, uint64_t child, bool log) {
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    std::lock_guard<std::mutex> lock(queueMutex);
    queue.push_back({child, log, std::string(buffer, n), false});
    queueChanged.notify_all();
  }
  CloseHandle(pipe);
  std::lock_guard<std::mutex> lock(queueMutex);
  queue.push_back({child, log, "", true});
  queueChanged.notify_all();
}

HANDLE inheritable(HANDLE handle) {
  SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return handle;
}

}  // namespace

struct ChildState {
  uint64_t id = 0;  // names its output in the queue
  HANDLE process = nullptr;
  std::thread out;
  std::thread err;
  bool ended = false;
  std::chrono::steady_clock::time_point endedAt;
  ~ChildState() {
    // Readers still blocked on a pipe that a grandchild holds are left be.
    if (out.joinable()) out.detach();
    if (err.joinable()) err.detach();
    if (process) CloseHandle(process);
  }
};

Child::Child() : state(std::make_unique<ChildState>()) {}
Child::~Child() = default;
Child::Child(Child&&) noexcept = default;
Child& Child::operator=(Child&&) noexcept = default;

Problem spawnPostergen(const std::string& postergen, const Directory& directory, Child& child,
                       const std::vector<int>& cpus) {
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  if (!CreatePipe(&outRead, &outWrite, nullptr, 0)) return systemProblem("cannot make a pipe");
  if (!CreatePipe(&errRead, &errWrite, nullptr, 0)) {
    const Problem problem = systemProblem("cannot make a pipe");
    CloseHandle(outRead);
    CloseHandle(outWrite);
    return problem;
  }
  HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  HANDLE handles[3] = {inheritable(input), inheritable(outWrite), inheritable(errWrite)};
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::string attributeBuffer(size, '\0');
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBuffer.data());
  InitializeProcThreadAttributeList(attributes, 1, 0, &size);
  UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                            sizeof handles, nullptr, nullptr);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = outWrite;
  startup.StartupInfo.hStdError = errWrite;
  const std::wstring program = widen(postergen);
  std::wstring commandLine = L"\"" + program + L"\"";
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                     EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED, nullptr,
                     widen(directory.path).c_str(), &startup.StartupInfo, &process);
  // Limited before its first instruction, so that it counts its CPUs right.
  if (started) {
    DWORD_PTR mask = 0;
    for (int cpu : cpus)
      if (cpu < static_cast<int>(8 * sizeof mask)) mask |= static_cast<DWORD_PTR>(1) << cpu;
    if (mask) SetProcessAffinityMask(process.hProcess, mask);
    ResumeThread(process.hThread);
  }
  const Problem problem = started ? Problem{} : systemProblem("cannot run " + postergen);
  DeleteProcThreadAttributeList(attributes);
  CloseHandle(input);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (!started) {
    CloseHandle(outRead);
    CloseHandle(errRead);
    return problem;
  }
  CloseHandle(process.hThread);
  ChildState& state = *child.state;
  state.process = process.hProcess;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    state.id = ++lastChildId;
  }
  state.out = std::thread(readPipe, outRead, state.id, false);
  state.err = std::thread(readPipe, errRead, state.id, true);
  child.outOpen = child.errOpen = true;
  return Problem{};
}

std::vector<Output> waitForOutput(const std::vector<Child*>& children, int timeoutMs) {
  std::vector<Output> came;
  const int stops = stopSignalCount();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lock(queueMutex);
  // A stop comes from the console's own thread, and a process ends without
  // a word, so the wait looks at both every tenth of a second.
  const auto anyEnded = [&children] {
    for (const Child* child : children)
      if (!child->state->ended && WaitForSingleObject(child->state->process, 0) == WAIT_OBJECT_0)
        return true;
    return false;
  };
  while (queue.empty() && stopSignalCount() == stops && !anyEnded() &&
         std::chrono::steady_clock::now() < deadline)
    queueChanged.wait_for(lock, std::chrono::milliseconds(100));
  for (auto chunk = queue.begin(); chunk != queue.end();) {
    size_t index = children.size();
    for (size_t i = 0; i < children.size(); ++i)
      if (children[i]->state->id == chunk->child) index = i;
    if (index == children.size()) {
      // Of a child no longer waited for: its streams already counted as ended.
      chunk = queue.erase(chunk);
      continue;
    }
    Child& child = *children[index];
    bool& open = chunk->log ? child.errOpen : child.outOpen;
    if (open) came.push_back({index, chunk->log, std::move(chunk->text), chunk->ended});
    if (chunk->ended) open = false;
    chunk = queue.erase(chunk);
  }
  const auto now = std::chrono::steady_clock::now();
  for (size_t i = 0; i < children.size(); ++i) {
    ChildState& state = *children[i]->state;
    if (!state.ended && WaitForSingleObject(state.process, 0) == WAIT_OBJECT_0) {
      state.ended = true;
      state.endedAt = now;
    }
    if (!state.ended || now - state.endedAt < kDrainTime) continue;
    for (const bool log : {false, true}) {
      bool& open = log ? children[i]->errOpen : children[i]->outOpen;
      if (open) came.push_back({i, log, "", true});
      open = false;
    }
  }
  return came;
}

// A stopped run's poster in progress is a temporary file in its run
// directory, which goes with it: ending it at once loses nothing.
void endChild(Child& child, Ending) {
  if (child.state->process) TerminateProcess(child.state->process, 1);
}

void samplePeak(Child& child) {
  PROCESS_MEMORY_COUNTERS counters{};
  if (child.state->process &&
      GetProcessMemoryInfo(child.state->process, &counters, sizeof counters))
    child.peakBytes = std::max(child.peakBytes, static_cast<int64_t>(counters.PeakWorkingSetSize));
}

Termination reap(Child& child) {
  ChildState& state = *child.state;
  WaitForSingleObject(state.process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(state.process, &code);
  samplePeak(child);
  child.boundBytes = child.peakBytes;  // Windows keeps the peak after the end: exact
  CloseHandle(state.process);
  state.process = nullptr;
  Termination how;
  if (code == STATUS_CONTROL_C_EXIT) {
    how.signalled = true;
    how.code = 2;  // SIGINT: Ctrl-C
  } else if ((code & 0xF0000000u) == 0xC0000000u) {
    // An NTSTATUS error such as 0xC0000005; postergen's own -114514 is
    // 0xFFFE40AE, an exit status.
    how.exception = code;
  } else {
    how.code = static_cast<int>(code & 0xFF);  // as a POSIX parent sees it: -114514 is 174
  }
  return how;
}
