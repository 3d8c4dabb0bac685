// Reading what a postergen run said and how it ended. Pure.
#ifndef POSTERGEN_BATCH_ENGINE_OUTCOME_H_
#define POSTERGEN_BATCH_ENGINE_OUTCOME_H_

#include <cstdint>
#include <string>
#include <vector>

#include "batch/platform/child.h"

// True when line is one that postergen logged (SDL_Log puts
// kLogLinePrefix before it); logLineText is its text, without the prefix.
bool isLogLine(const std::string& line);
std::string logLineText(const std::string& line);

// The run's item number j when line is the log line of a written poster,
// `INFO: Saved texture as PNG to "result<j>.png"`; 0 otherwise.
int savedItem(const std::string& line);

// "status 174: ..." or "ended by signal 9 (Killed)": the meaning of how a
// postergen run ended.
std::string describeTermination(const Termination& how);

// The last line postergen logged through SDL_Log, without "INFO: ", or the
// last line of its standard error when it logged none.
std::string lastLogLine(const std::string& log);

// postergen's own message: its standard output, else its last log line.
std::string postergenMessage(const std::string& out, const std::string& log);

// text with the file names of a run's items (d<j>.txt, city_photo<j>.jpeg,
// result<j>.png) given the numbers of the items they stand for, items[j-1].
std::string withItemNames(const std::string& text, const std::vector<int>& items);

// Why the lone item of a run got no poster: postergen's message, with the
// run's file names given the item's own number, and the meaning of how the
// run ended.
std::string failureReason(const std::string& message, const Termination& how, int item);

#endif  // POSTERGEN_BATCH_ENGINE_OUTCOME_H_
