#include "captions/replace_all.h"

std::string replaceAll(std::string subject, std::string pattern, std::string replacement) {
  size_t match = subject.find(pattern);
  if (match == std::string::npos) return subject;
  // Built by appending rather than replacing in place, so that a long
  // caption with many matches costs linear time.
  std::string result;
  result.reserve(subject.size());
  size_t copied = 0;
  for (; match != std::string::npos; match = subject.find(pattern, copied)) {
    result.append(subject, copied, match - copied);
    result += replacement;
    copied = match + pattern.size();
  }
  result.append(subject, copied, std::string::npos);
  return result;
}
