#include "batch/directory.h"

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
