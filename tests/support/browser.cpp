#include "support/browser.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>

namespace {

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs Chromium with a profile of its own on the page; its standard output.
std::string chromium(const std::string& options, const std::string& page,
                     const std::string& fragment) {
  char profile[] = "/tmp/postergen-chromium-XXXXXX";
  if (!mkdtemp(profile)) return "";
  const std::string url = "file://" + std::filesystem::absolute(page).string() +
                          (fragment.empty() ? "" : "#" + fragment);
  const std::string command =
      "chromium --headless --no-sandbox --disable-gpu --disable-background-networking "
      "--disable-component-update --disable-sync --no-first-run --user-data-dir=" +
      quoted(profile) + " " + options + " " + quoted(url) + " 2>/dev/null";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[1 << 16];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    if (pclose(pipe) != 0) out.clear();
  }
  std::error_code ignored;
  std::filesystem::remove_all(profile, ignored);
  return out;
}

}  // namespace

std::string renderedDom(const std::string& page, const std::string& fragment) {
  return chromium("--dump-dom", page, fragment);
}

bool screenshotOf(const std::string& page, const std::string& png, int width, int height) {
  std::error_code ignored;
  std::filesystem::remove(png, ignored);
  chromium("--hide-scrollbars --window-size=" + std::to_string(width) + "," +
               std::to_string(height) + " --screenshot=" + quoted(png),
           page, "");
  return std::filesystem::exists(png);
}
