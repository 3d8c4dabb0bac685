// Writes a batch's contact sheet into its home: the thumbnails, made on
// threads of their own from each poster as it comes home, and at the end
// the page (see contact_sheet.h) with a card for every item made (this
// time, or earlier and still up to date) or failed.
//
// A thumbnail's name carries the item, its size and a digest of its
// poster's size and modification time, so that a poster made again never
// shows an older thumbnail, not even from a browser's cache. Files in the
// thumbnail folder that the page does not show are removed; other files
// there are left alone. Beside each thumbnail are its poster's warnings, so
// that a --resume that leaves the poster alone still shows them.
#ifndef POSTERGEN_CONTACT_SHEET_SHEET_WRITER_H_
#define POSTERGEN_CONTACT_SHEET_SHEET_WRITER_H_

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "batch/engine/home.h"
#include "batch/engine/report.h"
#include "batch/platform/directory.h"
#include "contact_sheet/contact_sheet.h"

// The threads that make thumbnails, and what they hold at most, which the
// batch takes from its memory budget.
int thumbnailThreads();
int64_t thumbnailMemory();

class SheetWriter {
 public:
  explicit SheetWriter(const Home& home);
  ~SheetWriter();
  SheetWriter(const SheetWriter&) = delete;
  SheetWriter& operator=(const SheetWriter&) = delete;

  // Takes the thumbnail postergen wrote of the item's poster, now home, at
  // name in folder, moving it into the thumbnail folder; or, where there is
  // none, makes it from the poster on a thread of its own, unless it has
  // one.
  void posterHome(int item, const Directory* folder = nullptr, const std::string& name = "");

  // Waits for the thumbnails (after a stop signal, only for those begun),
  // then writes the page for what report says. Sets report.contactSheet,
  // or report.contactSheetProblem.
  void write(BatchReport& report);

 private:
  struct Made {
    std::string name;  // in the thumbnail folder; empty when none was made
    int width = 0;
    int height = 0;
    std::string problem;
  };
  // Queues the item's thumbnail unless it is queued, or made and again is
  // false.
  void queue(int item, bool again);
  void work();
  Made thumbnailOf(int item);
  // The item's poster, open at its start, and its digest; null when it
  // cannot be opened (problem says why).
  std::FILE* openPoster(int item, std::string& digest, std::string& problem);
  // Moves the thumbnail postergen wrote into the folder; false when it
  // cannot.
  bool adopt(int item, const Directory& folder, const std::string& name);
  // Writes the warnings of a card whose poster was made now beside its
  // thumbnail, or reads them for one made earlier; name goes into shown.
  void keepWarnings(SheetItem& card, const std::string& name, bool madeNow,
                    std::set<std::string>& shown);

  Home home_;
  Directory folder_;
  std::string problem_;                               // why there can be no thumbnails
  std::map<int, std::vector<std::string>> existing_;  // thumbnails there, by item

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable settled_;
  std::deque<int> queue_;
  int busy_ = 0;
  bool stopping_ = false;
  std::map<int, Made> made_;
  std::vector<std::thread> threads_;
};

#endif  // POSTERGEN_CONTACT_SHEET_SHEET_WRITER_H_
