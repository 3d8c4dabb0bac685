// UTF-8, as the batch keeps its text, to and from Windows' UTF-16.
#ifndef POSTERGEN_PLATFORM_TEXT_WIN32_H_
#define POSTERGEN_PLATFORM_TEXT_WIN32_H_

#include <string>

std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& text);

// The system's message for an error code, without its line break.
std::string systemMessage(unsigned long code);

#endif  // POSTERGEN_PLATFORM_TEXT_WIN32_H_
