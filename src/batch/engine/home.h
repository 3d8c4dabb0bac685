// The batch's home: the directory laid out as postergen's working directory
// (size.txt, font.ttf, bg.png, d<i>.txt, city_photo<i>.jpeg), and where
// its posters, result<i>.png, end up.
#ifndef POSTERGEN_BATCH_ENGINE_HOME_H_
#define POSTERGEN_BATCH_ENGINE_HOME_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "batch/engine/plan.h"
#include "batch/engine/report.h"
#include "batch/platform/directory.h"

struct Home {
  std::string path;                      // absolute
  std::shared_ptr<Directory> directory;  // held open while the batch runs
  int32_t itemCount = 0;
  int32_t fontSize = 0;
  // The numbers the items go by in messages, when the home is itself a
  // planned run (item j is the batch's shownItems[j - 1]); empty: their own.
  std::vector<int> shownItems;
  int shownItem(int item) const;
};

// Opens the home and reads size.txt with postergen's own reader: a missing
// or malformed file shows only in the values, as it does in postergen. A
// size.txt, font.ttf or bg.png that is there but no regular file (a FIFO,
// a device, a directory) is refused without being opened.
Home openHome(const std::string& path, std::string& error);

// Where a batch works in its home: run directories, and the logs of the
// runs that failed.
constexpr const char* kWorkDirectoryName = ".postergen-batch";

std::string captionName(int item);  // d<i>.txt
std::string photoName(int item);    // city_photo<i>.jpeg
std::string posterName(int item);   // result<i>.png

// The shared inputs every run links to.
const std::vector<std::string>& sharedInputs();

// Why name in the home cannot be an input without being opened: it is
// there but no regular file. Empty when it is a regular file or missing.
std::string notAFile(const Home& home, const std::string& name);

// True when result<i>.png is a regular file newer than each of the item's
// inputs that exists (size.txt, which holds the font size, included), and
// looks whole: a 2160 x 3840 PNG whose last chunk is IEND.
bool posterUpToDate(const Home& home, int item);

// The items' photographs read from their headers without decoding: what
// each costs a run, or why the item cannot be made (a missing photograph,
// an input that is no regular file, an image that postergen would refuse),
// found without running postergen.
struct ItemCheck {
  std::vector<ItemCost> costs;
  std::vector<ItemFailure> failures;
};
ItemCheck checkItems(const Home& home, const std::vector<int>& items);

// The background's decoded pixels, width x height x 4 bytes, from its
// header; -1 when it cannot be read or postergen would refuse it.
int64_t backgroundBytes(const Home& home);

#endif  // POSTERGEN_BATCH_ENGINE_HOME_H_
