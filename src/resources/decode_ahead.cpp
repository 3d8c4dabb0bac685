#include "resources/decode_ahead.h"

#include <SDL.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "app/worker_threads.h"
#include "platform/cpus.h"
#include "resources/image_header.h"
#include "resources/image_loading.h"

namespace {

struct LogLine {
  int category;
  SDL_LogPriority priority;
  std::string message;
};

struct Slot {
  std::string path;
  bool photograph;
  Placement placement;
  long long bytes = 0;  // reserved from kDecodeAheadBytes
  bool done = false;
  DecodedImage image;
  std::vector<LogLine> log;
};

std::mutex mutex;
std::condition_variable changed;
std::vector<Slot> slots;
std::vector<std::thread> workers;
size_t nextToStart = 0;
size_t nextToReserve = 0;  // bytes are reserved in order, so that the image
size_t nextToTake = 0;     // the main thread waits for always gets its turn
long long reserved = 0;
bool stopping = false;
TextureTarget target;
PickReader mainThreadPicks;

// A worker's question to the main thread, and its answer.
struct PickRequest {
  int w, h;
  SDL_Rect destination;
  PixelPicks* picks;
  bool answered = false;
  bool found = false;
};
std::deque<PickRequest*> pickRequests;

bool askMainThread(int w, int h, SDL_Rect destination, PixelPicks& picks) {
  std::unique_lock<std::mutex> lock(mutex);
  PickRequest request{w, h, destination, &picks};
  pickRequests.push_back(&request);
  changed.notify_all();
  changed.wait(lock, [&request] { return request.answered || stopping; });
  if (request.answered) return request.found;
  pickRequests.erase(std::find(pickRequests.begin(), pickRequests.end(), &request));
  return false;
}

// On the main thread, with the lock held: answers the workers' questions
// until the slot is done.
void answerUntilDone(std::unique_lock<std::mutex>& lock, const Slot& slot) {
  for (;;) {
    changed.wait(lock, [&slot] { return slot.done || !pickRequests.empty(); });
    if (slot.done) return;
    PickRequest* request = pickRequests.front();
    pickRequests.pop_front();
    lock.unlock();
    request->found = mainThreadPicks(request->w, request->h, request->destination, *request->picks);
    lock.lock();
    request->answered = true;
    changed.notify_all();
  }
}

thread_local std::vector<LogLine>* held = nullptr;
SDL_LogOutputFunction passOn = nullptr;
void* passOnData = nullptr;

void holdOrPass(void* data, int category, SDL_LogPriority priority, const char* message) {
  if (held)
    held->push_back({category, priority, message});
  else if (passOn)
    passOn(data, category, priority, message);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens the image once, for its header and then its decoding: null, with
// a header that says so, when it cannot be opened.
OpenFile openImage(const std::string& path, ImageHeader& header) {
  OpenFile file(std::fopen(path.c_str(), "rb"));
  header = file ? readImageHeader(file.get()) : ImageHeader{};
  return file;
}

// What the decoded image will take, by its header; nothing for an image the
// check will refuse before decoding.
long long announcedBytes(const ImageHeader& header) {
  if (header.outcome != ImageHeader::Outcome::kRead || !withinDecodeLimits(header)) return 0;
  return header.width * header.height * 4;
}

DecodedImage decodeHoldingLog(std::FILE* file, const Slot& slot, const ImageHeader& header,
                              std::vector<LogLine>& log) {
  held = &log;
  DecodedImage image;
  try {
    image = decodeImage(file, slot.path, header, slot.photograph, target,
                        {slot.placement, askMainThread});
  } catch (const std::bad_alloc&) {
    image.failure = "Out of memory";
    image.status = kExitUnloadable;
  }
  held = nullptr;
  return image;
}

void runWorker() {
  std::unique_lock<std::mutex> lock(mutex);
  const size_t ahead = workers.size();  // complete once the lock is had
  for (;;) {
    changed.wait(lock, [ahead] {
      return stopping || nextToStart == slots.size() || nextToStart < nextToTake + ahead;
    });
    if (stopping || nextToStart == slots.size()) return;
    const size_t index = nextToStart++;
    Slot& slot = slots[index];
    lock.unlock();
    // Held open while the bytes are awaited, so that the file decoded is
    // the one whose header was read.
    ImageHeader header;
    OpenFile file = openImage(slot.path, header);
    const long long bytes = announcedBytes(header);
    lock.lock();
    changed.wait(lock, [index, bytes] {
      return stopping ||
             (nextToReserve == index && (reserved == 0 || reserved + bytes <= kDecodeAheadBytes));
    });
    if (stopping) return;
    ++nextToReserve;
    reserved += bytes;
    slot.bytes = bytes;
    changed.notify_all();
    lock.unlock();
    std::vector<LogLine> log;
    DecodedImage image = decodeHoldingLog(file.get(), slot, header, log);
    file.reset();
    lock.lock();
    slot.image = std::move(image);
    slot.log = std::move(log);
    slot.done = true;
    changed.notify_all();
  }
}

}  // namespace

void startDecodingAhead(std::vector<ImageToDecode> images, const TextureTarget& textures,
                        PickReader picks) {
  target = textures;
  mainThreadPicks = std::move(picks);
  const int cpus = std::min(allowedCpuCount(), static_cast<int>(images.size()));
  if (cpus < 2) return;
  for (ImageToDecode& image : images) {
    slots.emplace_back();
    slots.back().path = std::move(image.path);
    slots.back().photograph = image.photograph;
    slots.back().placement = image.placement;
  }
  SDL_LogGetOutputFunction(&passOn, &passOnData);
  SDL_LogSetOutputFunction(holdOrPass, passOnData);
  std::atexit(stopDecodingAhead);
  // The workers read how many they are once they have the lock.
  std::lock_guard<std::mutex> lock(mutex);
  workers = startWorkers(cpus, runWorker);
}

DecodedImage takeDecodedImage(const std::string& path, bool photograph, Placement placement) {
  std::unique_lock<std::mutex> lock(mutex);
  if (workers.empty() || nextToTake == slots.size() || slots[nextToTake].path != path ||
      slots[nextToTake].photograph != photograph) {
    lock.unlock();
    ImageHeader header;
    const OpenFile file = openImage(path, header);
    return decodeImage(file.get(), path, header, photograph, target, {placement, mainThreadPicks});
  }
  Slot& slot = slots[nextToTake];
  answerUntilDone(lock, slot);
  DecodedImage image = std::exchange(slot.image, DecodedImage{});
  const std::vector<LogLine> log = std::move(slot.log);
  reserved -= slot.bytes;
  const bool last = ++nextToTake == slots.size();
  changed.notify_all();
  lock.unlock();
  for (const LogLine& line : log)
    SDL_LogMessage(line.category, line.priority, "%s", line.message.c_str());
  if (last) stopDecodingAhead();
  return image;
}

void stopDecodingAhead() {
  std::unique_lock<std::mutex> lock(mutex);
  stopping = true;
  changed.notify_all();
  lock.unlock();
  for (std::thread& worker : workers)
    if (worker.joinable()) worker.join();
  lock.lock();
  for (Slot& slot : slots)
    if (slot.done) SDL_FreeSurface(slot.image.surface);
  slots.clear();
  if (passOn) SDL_LogSetOutputFunction(passOn, passOnData);
  passOn = nullptr;
}
