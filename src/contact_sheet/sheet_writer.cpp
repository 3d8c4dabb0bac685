#include "contact_sheet/sheet_writer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <set>
#include <sstream>

#include "batch/platform/machine.h"
#include "contact_sheet/contact_sheet.h"
#include "contract/run_contract.h"
#include "platform/cpus.h"
#include "thumbnail/thumbnail.h"

namespace {

// The most threads that make thumbnails: each keeps up with a dozen
// postergen runs, and more would only help a --resume that finds many
// posters without thumbnails.
constexpr int kMaxThumbnailThreads = 4;
constexpr size_t kCaptionRead = 4096;

// "<item>-" and "-<digest>.jpg" around "<width>x<height>".
std::string thumbnailName(int item, int width, int height, const std::string& digest) {
  return std::to_string(item) + "-" + std::to_string(width) + "x" + std::to_string(height) + "-" +
         digest + ".jpg";
}

// The item a thumbnail's name is for, or 0.
int itemOfName(const std::string& name) {
  const size_t dash = name.find('-');
  if (dash == std::string::npos || dash == 0 || dash > 9) return 0;
  for (size_t i = 0; i < dash; ++i)
    if (name[i] < '0' || name[i] > '9') return 0;
  return std::atoi(name.c_str());
}

// FNV-1a over the poster's size and modification time: which poster it is.
std::string posterDigest(long size, int64_t modified) {
  uint64_t hash = 14695981039346656037ull;
  for (const int64_t value : {static_cast<int64_t>(size), modified})
    for (int i = 0; i < 8; ++i) {
      hash ^= static_cast<uint64_t>(value >> (8 * i)) & 0xFF;
      hash *= 1099511628211ull;
    }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// Beside a thumbnail, the warnings of the poster it shows, one a line, for
// a later batch that finds the poster up to date.
std::string warningsName(const std::string& thumbnail) {
  return thumbnail.substr(0, thumbnail.size() - 4) + ".txt";
}

// The thumbnail a name is for, itself or its warnings: false when it is
// neither.
bool readThumbnailName(const std::string& name, int& width, int& height, std::string& digest) {
  char hex[17] = "";
  if (std::sscanf(name.c_str(), "%*d-%dx%d-%16[0-9a-f]", &width, &height, hex) != 3) return false;
  digest = hex;
  const std::string thumbnail = thumbnailName(itemOfName(name), width, height, digest);
  return name == thumbnail || name == warningsName(thumbnail);
}

bool isThumbnailName(const std::string& name) {
  int width = 0, height = 0;
  std::string digest;
  return readThumbnailName(name, width, height, digest);
}

// A thumbnail or its warnings, or what is left of one being written when a
// batch was killed; other files in the folder are somebody else's.
bool madeByABatch(const std::string& name) {
  const std::string partial = ".partial";
  if (name.size() <= partial.size() + 1 || name[0] != '.' ||
      name.compare(name.size() - partial.size(), partial.size(), partial) != 0)
    return isThumbnailName(name);
  // "." + name + "." + a unique part + ".partial"
  const size_t end = name.find('.', name.find('-') + 1);
  return end != std::string::npos && isThumbnailName(name.substr(1, end + 3));
}

std::string utcNow() {
  const std::time_t now = std::time(nullptr);
  char text[32] = "";
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  return text;
}

std::string randomNonce() {
  std::random_device random;
  char text[33];
  std::snprintf(text, sizeof text, "%08x%08x%08x%08x", random(), random(), random(), random());
  return text;
}

}  // namespace

// One for every CPU: at the lowest priority they take only the time the
// runs leave, and after the runs they catch up on every CPU.
int thumbnailThreads() { return std::max(1, std::min(kMaxThumbnailThreads, allowedCpuCount())); }

int64_t thumbnailMemory() { return thumbnailThreads() * kThumbnailBytes; }

SheetWriter::SheetWriter(const Home& home) : home_(home) {
  Problem problem;
  folder_ = openOrMakeSubdirectory(*home_.directory, kThumbnailFolderName, problem);
  if (!folder_) {
    problem_ = problem.text;
    return;
  }
  for (const std::string& name : listDirectory(*home_.directory, kThumbnailFolderName))
    if (const int item = itemOfName(name)) existing_[item].push_back(name);
  for (int i = 0; i < thumbnailThreads(); ++i) threads_.emplace_back([this] { work(); });
}

SheetWriter::~SheetWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void SheetWriter::posterHome(int item, const Directory* folder, const std::string& name) {
  if (folder && adopt(item, *folder, name)) return;
  queue(item, true);
}

bool SheetWriter::adopt(int item, const Directory& folder, const std::string& name) {
  std::string digest, problem;
  if (!folder_ || !isRegularFile(folder, name)) return false;
  std::FILE* poster = openPoster(item, digest, problem);
  if (!poster) return false;
  std::fclose(poster);
  // postergen writes the thumbnails of posters only.
  const int width = (kPosterWidth + kThumbnailScale - 1) / kThumbnailScale;
  const int height = (kPosterHeight + kThumbnailScale - 1) / kThumbnailScale;
  const std::string adopted = thumbnailName(item, width, height, digest);
  if (moveFile(folder, name, folder_, adopted)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  made_[item] = {adopted, width, height, ""};
  return true;
}

std::FILE* SheetWriter::openPoster(int item, std::string& digest, std::string& problem) {
  const std::string poster = posterName(item);
  std::FILE* file = openRegularFile(*home_.directory, poster, false);
  int64_t modified = 0;
  if (!file || !modifiedTime(*home_.directory, poster, modified)) {
    problem = poster + " cannot be opened: " + std::strerror(errno);
    if (file) std::fclose(file);
    return nullptr;
  }
  std::fseek(file, 0, SEEK_END);
  digest = posterDigest(std::ftell(file), modified);
  std::rewind(file);
  return file;
}

void SheetWriter::queue(int item, bool again) {
  if (!folder_) return;  // and no thread to make it
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (again) made_.erase(item);
    if (made_.count(item) || std::find(queue_.begin(), queue_.end(), item) != queue_.end()) return;
    queue_.push_back(item);
  }
  wake_.notify_one();
}

void SheetWriter::work() {
  // The runs come first: thumbnails are made on the CPU time they leave,
  // and catch up once they end.
  lowerThisThreadsPriority();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const int item = queue_.front();
    queue_.pop_front();
    ++busy_;
    lock.unlock();
    Made made = thumbnailOf(item);
    lock.lock();
    made_[item] = std::move(made);
    --busy_;
    settled_.notify_all();
  }
}

SheetWriter::Made SheetWriter::thumbnailOf(int item) {
  Made made;
  std::string digest;
  std::FILE* file = openPoster(item, digest, made.problem);
  if (!file) return made;
  const auto known = existing_.find(item);
  if (known != existing_.end())
    for (const std::string& name : known->second) {
      int width = 0, height = 0;
      std::string made;
      if (readThumbnailName(name, width, height, made) && made == digest &&
          name == thumbnailName(item, width, height, digest)) {
        std::fclose(file);
        return {name, width, height, ""};
      }
    }
  const Thumbnail thumbnail = makeThumbnail(file);
  std::fclose(file);
  if (thumbnail.jpeg.empty()) {
    made.problem = thumbnail.problem;
    return made;
  }
  const std::string name = thumbnailName(item, thumbnail.width, thumbnail.height, digest);
  const Problem problem = replaceFile(folder_, name, thumbnail.jpeg);
  if (problem) {
    made.problem = problem.text;
    return made;
  }
  return {name, thumbnail.width, thumbnail.height, ""};
}

void SheetWriter::keepWarnings(SheetItem& card, const std::string& name, bool madeNow,
                               std::set<std::string>& shown) {
  if (madeNow) {
    std::string text;
    for (const std::string& warning : card.warnings) text += warning + "\n";
    if (text.empty() || replaceFile(folder_, name, text)) return;
  } else {
    std::istringstream text(readSmallFile(folder_, name));
    for (std::string line; std::getline(text, line);)
      if (!line.empty()) card.warnings.push_back(line);
    if (card.warnings.empty()) return;
    card.status = SheetItem::Status::kWarned;
  }
  shown.insert(name);
}

void SheetWriter::write(BatchReport& report) {
  const std::set<int> madeNow(report.made.begin(), report.made.end());
  std::map<int, std::string> failed;
  for (const ItemFailure& failure : report.failures) {
    std::string& reason = failed[failure.item];
    reason += (reason.empty() ? "" : "; ") + failure.reason;
  }
  SheetPage page;
  page.directory = home_.path;
  page.madeAt = utcNow();
  page.items = home_.itemCount;
  page.seconds = report.seconds;
  page.error = report.error;
  page.nonce = randomNonce();
  for (int item = 1; item <= home_.itemCount; ++item) {
    SheetItem card;
    card.item = item;
    const auto failure = failed.find(item);
    if (failure != failed.end()) {
      card.status = SheetItem::Status::kFailed;
      card.failure = failure->second;
    } else if (madeNow.count(item) || (!stopSignal() && posterUpToDate(home_, item))) {
      queue(item, false);
    } else {
      continue;
    }
    const auto warnings = report.warnings.find(item);
    if (warnings != report.warnings.end()) {
      card.warnings.assign(warnings->second.begin(), warnings->second.end());
      if (card.status != SheetItem::Status::kFailed) card.status = SheetItem::Status::kWarned;
    }
    card.caption = readSmallFile(*home_.directory, captionName(item), kCaptionRead);
    page.cards.push_back(std::move(card));
  }
  {
    // A stop signal drops the thumbnails not begun.
    std::unique_lock<std::mutex> lock(mutex_);
    while (!queue_.empty() || busy_) {
      if (stopSignal()) queue_.clear();
      settled_.wait_for(lock, std::chrono::milliseconds(200));
    }
  }
  std::set<std::string> shown;
  for (SheetItem& card : page.cards) {
    if (card.status == SheetItem::Status::kFailed) {
      ++page.failed;
      continue;
    }
    ++page.made;
    const auto made = made_.find(card.item);
    if (made != made_.end() && !made->second.name.empty())
      keepWarnings(card, warningsName(made->second.name), madeNow.count(card.item) > 0, shown);
    if (card.status == SheetItem::Status::kWarned) ++page.warned;
    if (made == made_.end()) {
      card.thumbnailProblem = problem_.empty() ? "no thumbnail: the batch was stopped" : problem_;
    } else if (made->second.name.empty()) {
      card.thumbnailProblem = made->second.problem;
    } else {
      card.thumbnail = std::string(kThumbnailFolderName) + "/" + made->second.name;
      card.thumbnailWidth = made->second.width;
      card.thumbnailHeight = made->second.height;
      shown.insert(made->second.name);
    }
  }
  const auto shared = report.warnings.find(0);
  if (shared != report.warnings.end())
    for (const std::string& warning : shared->second)
      page.notes.push_back("Every item: " + warning);
  const int notMade = page.items - static_cast<int>(page.cards.size());
  if (!problem_.empty()) page.notes.push_back("No thumbnails: " + problem_);
  if (report.stoppedBy && notMade > 0)
    page.notes.push_back("Stopped: " + std::to_string(notMade) +
                         " items not made yet (run again with --resume to carry on).");
  if (folder_)
    for (const std::string& name : listDirectory(*home_.directory, kThumbnailFolderName))
      if (!shown.count(name) && madeByABatch(name)) removeTree(folder_, name);
  const Problem problem = replaceFile(*home_.directory, kContactSheetName, contactSheetHtml(page));
  if (problem) {
    report.contactSheetProblem = "no contact sheet: " + problem.text;
    return;
  }
  report.contactSheet = joinPath(home_.path, kContactSheetName);
  if (!problem_.empty())
    report.contactSheetProblem = "the contact sheet has no thumbnails: " + problem_;
}
