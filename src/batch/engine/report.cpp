#include "batch/engine/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

#include "batch/engine/outcome.h"
#include "contract/run_contract.h"

namespace {

std::string twoDigits(long n) { return (n < 10 ? "0" : "") + std::to_string(n); }

double elapsedSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

std::string formatDuration(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  if (s < 60) return std::to_string(s) + "s";
  if (s < 3600) return std::to_string(s / 60) + "m " + twoDigits(s % 60) + "s";
  return std::to_string(s / 3600) + "h " + twoDigits(s / 60 % 60) + "m";
}

std::string progressLine(int done, int total, double seconds) {
  std::string line = std::to_string(done) + "/" + std::to_string(total) + " posters";
  if (done > 0 && seconds > 0) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f/min", done * 60.0 / seconds);
    line += std::string(", ") + rate;
    if (done < total) line += ", " + formatDuration(seconds / done * (total - done)) + " left";
  }
  return line;
}

Progress::Progress(int total, bool enabled, bool terminal)
    : total_(total), enabled_(enabled && total > 0), terminal_(terminal) {}

void Progress::update(int done) {
  if (!enabled_) return;
  const std::string line = progressLine(done, total_, elapsedSince(start_));
  if (terminal_) {
    // Spaces rather than an escape sequence clear what the last line left,
    // so that a Windows console shows it as a terminal does.
    std::cerr << "\r" << line
              << std::string(shownWidth_ > line.size() ? shownWidth_ - line.size() : 0, ' ')
              << std::flush;
    shownWidth_ = line.size();
    lineShown_ = true;
    return;
  }
  const int tenths = done * 10 / total_;
  if (tenths <= shownTenths_) return;
  shownTenths_ = tenths;
  std::cerr << "postergen-batch: " << line << std::endl;
}

void Progress::clear() {
  if (!lineShown_) return;
  std::cerr << "\r" << std::string(shownWidth_, ' ') << "\r" << std::flush;
  lineShown_ = false;
  shownWidth_ = 0;
}

void noteWarning(const std::string& logged, const std::vector<int>& items, BatchReport& report) {
  const std::string head = kWarningPrefix;
  if (logged.compare(0, head.size(), head) != 0) return;
  std::string text = logged.substr(head.size());
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  // The file it names: d<j>.txt or city_photo<j>.jpeg, else a shared input.
  int item = 0;
  for (const char* prefix : {kCaptionFile.prefix, kPhotographFile.prefix}) {
    const size_t size = std::strlen(prefix);
    if (text.compare(0, size, prefix) == 0 && size < text.size() && text[size] >= '1' &&
        text[size] <= '9') {
      const int j = std::atoi(text.c_str() + size);
      if (j >= 1 && j <= static_cast<int>(items.size())) item = items[j - 1];
    }
  }
  report.warnings[item].insert(withItemNames(text, items));
}

void readWarnings(const std::string& summary, BatchReport& report) {
  std::istringstream in(summary);
  bool inWarnings = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("postergen-batch: ", 0) == 0) {
      inWarnings = line.find(" warning") != std::string::npos && line.back() == ':';
      continue;
    }
    if (!inWarnings) continue;
    const size_t colon = line.find(": ");
    if (line.rfind("item ", 0) == 0 && colon != std::string::npos)
      report.warnings[std::atoi(line.c_str() + 5)].insert(line.substr(colon + 2));
    else if (line.rfind("every item: ", 0) == 0)
      report.warnings[0].insert(line.substr(12));
  }
}

std::string summaryText(const BatchReport& report) {
  std::string text = "postergen-batch: " + std::to_string(report.written) + " of " +
                     std::to_string(report.total) + " posters written";
  if (report.skipped) text += " (" + std::to_string(report.skipped) + " up to date, left alone)";
  text += " in " + formatDuration(report.seconds);
  if (report.runs)
    text += " by " + std::to_string(report.runs) + (report.runs == 1 ? " run" : " runs") +
            " of postergen, the largest peaking at " +
            std::to_string(report.largestPeakBytes >> 20) + " MiB";
  text += "\n";
  std::vector<ItemFailure> failures = report.failures;
  std::sort(failures.begin(), failures.end(),
            [](const ItemFailure& a, const ItemFailure& b) { return a.item < b.item; });
  if (!failures.empty())
    text += "postergen-batch: " + std::to_string(failures.size()) +
            (failures.size() == 1 ? " item" : " items") + " failed:\n";
  for (const ItemFailure& failure : failures)
    text += "item " + std::to_string(failure.item) + ": " + failure.reason + "\n";
  size_t warningCount = 0;
  for (const auto& [item, texts] : report.warnings) warningCount += texts.size();
  if (warningCount)
    text += "postergen-batch: " + std::to_string(warningCount) +
            (warningCount == 1 ? " warning" : " warnings") +
            " (posters made, maybe not as meant):\n";
  for (const auto& [item, texts] : report.warnings)
    for (const std::string& warning : texts)
      text += (item ? "item " + std::to_string(item) : std::string("every item")) + ": " + warning +
              "\n";
  if (report.strict && warningCount)
    text += "postergen-batch: --strict counts the posters with warnings as failed\n";
  const int notMade = report.total - report.written - static_cast<int>(failures.size());
  if (report.stoppedBy && notMade > 0)
    text += "postergen-batch: stopped; " + std::to_string(notMade) +
            " items not made yet (run again with --resume to carry on)\n";
  if (!report.planKept.empty())
    text += "postergen-batch: the runs whose posters could not be moved home stay in " +
            report.planKept + "; run --collect " + report.planKept + " again to finish\n";
  if (!report.contactSheet.empty())
    text += "postergen-batch: contact sheet: " + report.contactSheet + "\n";
  if (!report.contactSheetProblem.empty())
    text += "postergen-batch: " + report.contactSheetProblem + "\n";
  if (!report.logsKept.empty())
    text += "postergen-batch: the logs of the runs that failed are in " + report.logsKept + "\n";
  return text;
}

int exitStatus(const BatchReport& report) {
  if (report.stoppedBy) return 128 + report.stoppedBy;
  if (report.strict && !report.warnings.empty()) return 1;
  return report.failures.empty() && report.written == report.total ? 0 : 1;
}
