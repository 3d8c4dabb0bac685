#include "batch/engine/outcome.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include "contract/run_contract.h"

namespace {

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool isNameChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

}  // namespace

bool isLogLine(const std::string& line) {
  return line.compare(0, std::strlen(kLogLinePrefix), kLogLinePrefix) == 0;
}

std::string logLineText(const std::string& line) {
  return isLogLine(line) ? line.substr(std::strlen(kLogLinePrefix)) : "";
}

int savedItem(const std::string& line) {
  // The format's text around its %s, the poster's name, and the name's
  // own text around its number.
  const std::string format = kSavedPosterFormat;
  const size_t name = format.find("%s");
  const std::string head = kLogLinePrefix + format.substr(0, name) + kPosterFile.prefix;
  const std::string tail =
      kPosterFile.suffix + format.substr(name + 2, format.find_last_not_of('\n') - name - 1);
  if (line.compare(0, head.size(), head) != 0) return 0;
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == ' ')) --end;
  if (end < head.size() + tail.size() + 1 ||
      line.compare(end - tail.size(), tail.size(), tail) != 0)
    return 0;
  const std::string digits = line.substr(head.size(), end - tail.size() - head.size());
  if (digits.empty() || digits.size() > 4 || digits[0] == '0') return 0;
  for (char c : digits)
    if (c < '0' || c > '9') return 0;
  return std::stoi(digits);
}

std::string describeTermination(const Termination& how) {
  if (how.exception) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(how.exception));
    return std::string("ended by Windows exception ") + code;
  }
  if (how.signalled) {
    // The usual ones by name, the same on every platform.
    static const std::pair<int, const char*> kNames[] = {
        {1, "Hangup"}, {2, "Interrupt"},           {6, "Aborted"},
        {9, "Killed"}, {11, "Segmentation fault"}, {15, "Terminated"}};
    std::string text = "ended by signal " + std::to_string(how.code);
    for (const auto& [number, name] : kNames)
      if (number == how.code) text += std::string(" (") + name + ")";
    return text;
  }
  const std::string status = "status " + std::to_string(how.code);
  switch (how.code) {
    case 0: return status + ": the run ended without writing the poster";
    case seenStatus(kExitUnloadable):
      return status + ": an input cannot be opened or decoded, or the font size is out of range";
    case seenStatus(kExitUnrenderable):
      return status + ": an image cannot become a texture or the caption cannot be rendered";
    case kExitTooManyItems: return status + ": size.txt asks for more items than one run holds";
    default: return status;
  }
}

std::string lastLogLine(const std::string& log) {
  std::istringstream in(log);
  std::string lastLogged;
  std::string lastAny;
  for (std::string line; std::getline(in, line);) {
    line = trimmed(line);
    if (line.empty()) continue;
    lastAny = line;
    if (isLogLine(line)) lastLogged = logLineText(line);
  }
  return lastLogged.empty() ? lastAny : lastLogged;
}

std::string postergenMessage(const std::string& out, const std::string& log) {
  const std::string message = trimmed(out);
  return message.empty() ? lastLogLine(log) : message;
}

std::string withItemNames(const std::string& text, const std::vector<int>& items) {
  static const ItemFile kNames[] = {kPhotographFile, kPosterFile, kCaptionFile};
  std::string mapped;
  for (size_t at = 0; at < text.size();) {
    bool replaced = false;
    for (const auto& [prefix, suffix] : kNames) {
      const size_t prefixSize = std::strlen(prefix);
      if ((at > 0 && isNameChar(text[at - 1])) || text.compare(at, prefixSize, prefix) != 0)
        continue;
      size_t end = at + prefixSize;
      while (end < text.size() && end - at - prefixSize < 9 && text[end] >= '0' && text[end] <= '9')
        ++end;
      const size_t suffixSize = std::strlen(suffix);
      if (end == at + prefixSize || text[at + prefixSize] == '0' ||
          text.compare(end, suffixSize, suffix) != 0 ||
          (end + suffixSize < text.size() && isNameChar(text[end + suffixSize])))
        continue;
      const size_t j = std::stoul(text.substr(at + prefixSize, end - at - prefixSize));
      if (j < 1 || j > items.size()) continue;
      mapped += prefix + std::to_string(items[j - 1]) + suffix;
      at = end + suffixSize;
      replaced = true;
      break;
    }
    if (!replaced) mapped += text[at++];
  }
  return mapped;
}

std::string failureReason(const std::string& postergenSaid, const Termination& how, int item) {
  // The item ran alone, as item 1 of its run.
  const std::string message =
      postergenSaid.empty() ? "no message" : withItemNames(postergenSaid, {item});
  return message + " (" + describeTermination(how) + ")";
}
