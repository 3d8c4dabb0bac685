#include "batch/platform/directory.h"

#include <cerrno>
#include <cstring>

Handle& Handle::operator=(Handle&& other) noexcept {
  if (this != &other) {
    if (value_ != kNone) closeHandleValue(value_);
    value_ = other.release();
  }
  return *this;
}

Handle::~Handle() {
  if (value_ != kNone) closeHandleValue(value_);
}

intptr_t Handle::release() {
  const intptr_t value = value_;
  value_ = kNone;
  return value;
}

std::string readSmallFile(const Directory& directory, const std::string& name, size_t limit) {
  std::FILE* file = openRegularFile(directory, name, false);
  if (!file) return "";
  std::string text;
  char buffer[1 << 16];
  for (size_t n; text.size() < limit && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    text.append(buffer, n);
  std::fclose(file);
  if (text.size() > limit) text.resize(limit);
  return text;
}

Problem writeWhole(const Directory& directory, const std::string& name,
                   const std::function<std::string(const ByteSink&)>& fill) {
  const WriteFailure failure = writeWholeFile({directory.handle.get(), directory.path}, name, fill);
  const std::string shownAs = joinPath(directory.path, name);
  switch (failure.step) {
    case WriteFailure::Step::kNone: return Problem{};
    case WriteFailure::Step::kCreate:
      return Problem{failure.code,
                     "cannot create a temporary file beside " + shownAs + ": " + failure.reason};
    case WriteFailure::Step::kFill: return Problem{failure.code, failure.reason};
    case WriteFailure::Step::kWrite:
      return Problem{failure.code, "cannot write " + shownAs + ": " + failure.reason};
    case WriteFailure::Step::kSync:
      return Problem{failure.code, "cannot sync " + shownAs + ": " + failure.reason};
    case WriteFailure::Step::kRename:
      return Problem{failure.code,
                     "cannot rename the temporary file to " + shownAs + ": " + failure.reason};
  }
  return Problem{failure.code, failure.reason};
}

Problem replaceFile(const Directory& directory, const std::string& name, const std::string& text) {
  return writeWhole(directory, name, [&text](const ByteSink& write) {
    write(text.data(), text.size());
    return std::string();
  });
}

Problem copyWhole(const Directory& fromDirectory, const std::string& from,
                  const Directory& toDirectory, const std::string& to) {
  std::FILE* in = openRegularFile(fromDirectory, from, false);
  if (!in)
    return Problem{
        errno, "cannot open " + joinPath(fromDirectory.path, from) + ": " + std::strerror(errno)};
  const Problem problem = writeWhole(toDirectory, to, [&](const ByteSink& write) {
    char buffer[1 << 16];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
      if (!write(buffer, n)) return std::string();
    return std::ferror(in) ? "cannot read " + joinPath(fromDirectory.path, from) : std::string();
  });
  std::fclose(in);
  return problem;
}
