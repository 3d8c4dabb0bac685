#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <sstream>

#include "batch/platform/machine.h"
#include "platform/text_win32.h"

namespace {

std::atomic<int> lastStopSignal{0};
UINT consoleCodePage = 0;

// The console is the user's: it gets its code page back at the end.
void restoreConsole() {
  if (consoleCodePage) SetConsoleOutputCP(consoleCodePage);
}
std::atomic<int> stopSignals{0};

// Runs on a thread of its own. The batch goes on to end its runs, move home
// what they finished and report; children on the same console got the
// same event.
BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  lastStopSignal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
  ++stopSignals;
  return TRUE;
}

bool isFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring fullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (!size) return L"";
  std::wstring full(size, L'\0');
  const DWORD used = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  full.resize(used);
  return full;
}

}  // namespace

std::vector<std::string> startProgram(int, char**) {
  catchStopSignals();
  consoleCodePage = GetConsoleOutputCP();
  if (consoleCodePage && SetConsoleOutputCP(CP_UTF8)) std::atexit(restoreConsole);
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(narrow(wide[i]));
  LocalFree(wide);
  return args;
}

int exitStatusOnThisPlatform(int status) {
  return status == 128 + SIGINT && stopSignal() == SIGINT ? static_cast<int>(STATUS_CONTROL_C_EXIT)
                                                          : status;
}

bool errorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void lowerThisThreadsPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST); }

int64_t availableMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  return GlobalMemoryStatusEx(&status) ? static_cast<int64_t>(status.ullAvailPhys) : 0;
}

std::string findPostergen(const std::string& choice) {
  std::wstring name = widen(choice.empty() ? "postergen.exe" : choice);
  if (choice.find_first_of("/\\") != std::string::npos) {
    if (!isFile(name) && isFile(name + L".exe")) name += L".exe";
    return isFile(name) ? narrow(fullPath(name)) : "";
  }
  if (choice.empty()) {
    wchar_t self[32768];
    const DWORD n = GetModuleFileNameW(nullptr, self, 32768);
    std::wstring beside(self, n);
    beside = beside.substr(0, beside.find_last_of(L"\\/") + 1) + name;
    if (n && isFile(beside)) return narrow(beside);
  }
  const wchar_t* path = _wgetenv(L"PATH");
  std::wistringstream entries(path ? path : L"");
  for (std::wstring entry; std::getline(entries, entry, L';');) {
    if (entry.empty()) continue;
    for (const std::wstring& candidate : {entry + L"\\" + name, entry + L"\\" + name + L".exe"})
      if (isFile(candidate)) return narrow(fullPath(candidate));
  }
  return "";
}

std::string absoluteDirectory(const std::string& path) {
  const std::wstring full = fullPath(widen(path));
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (full.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return "";
  std::string absolute = narrow(full);
  while (absolute.size() > 3 && (absolute.back() == '\\' || absolute.back() == '/'))
    absolute.pop_back();
  return absolute;
}

void catchStopSignals() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

int stopSignal() { return lastStopSignal; }

int stopSignalCount() { return stopSignals; }
