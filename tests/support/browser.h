// Opens pages in headless Chromium (Debian's chromium) as a user's browser
// would: from the file system, with a fresh profile, and no background
// network of its own.
#ifndef POSTERGEN_TESTS_SUPPORT_BROWSER_H_
#define POSTERGEN_TESTS_SUPPORT_BROWSER_H_

#include <string>

// The document once its scripts have run, as HTML; empty when Chromium
// could not load it. fragment, without '#', is added to the page's address.
std::string renderedDom(const std::string& page, const std::string& fragment = "");

// Saves a width x height screenshot of the page as a PNG; false on failure.
bool screenshotOf(const std::string& page, const std::string& png, int width, int height);

#endif  // POSTERGEN_TESTS_SUPPORT_BROWSER_H_
