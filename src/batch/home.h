// The batch's home: the directory laid out as postergen's working directory
// (size.txt, font.ttf, bg.png, d<i>.txt, city_photo<i>.jpeg), and where
// its posters, result<i>.png, end up.
#ifndef POSTERGEN_BATCH_HOME_H_
#define POSTERGEN_BATCH_HOME_H_

#include <cstdint>
#include <string>
#include <vector>

#include "batch/plan.h"

struct Home {
  std::string path;  // absolute
  int32_t itemCount = 0;
  int32_t fontSize = 0;
};

// Reads size.txt with postergen's own reader: a missing or malformed file
// shows only in the values, as it does in postergen.
Home readHome(const std::string& absolutePath);

std::string captionName(int item);  // d<i>.txt
std::string photoName(int item);    // city_photo<i>.jpeg
std::string posterName(int item);   // result<i>.png

// The shared inputs every run links to.
const std::vector<std::string>& sharedInputs();

// True when result<i>.png is newer than each of the item's inputs that
// exists (size.txt, which holds the font size, included).
bool posterUpToDate(const Home& home, int item);

// The cost of each item's photograph, read from its header without decoding.
std::vector<ItemCost> photoCosts(const Home& home, const std::vector<int>& items);

#endif  // POSTERGEN_BATCH_HOME_H_
