#include "poster/export_queue.h"

#include <SDL.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "app/worker_threads.h"
#include "contract/run_contract.h"
#include "platform/cpus.h"
#include "platform/whole_file.h"
#include "thumbnail/thumbnail.h"

namespace {

struct PosterWrite {
  long ticket;
  ByteBuffer rows;
  int w;
  int h;
  std::string path;
};

std::mutex mutex;
std::condition_variable changed;
std::deque<PosterWrite> waiting;
int inFlight = 0;  // buffers taken and not yet given back, with writers
bool stopping = false;
std::vector<std::thread> writers;

// Buffers back from written posters, for the next ones: read-back pixels
// (with their sizes) and deflated streams.
std::vector<std::pair<ByteBuffer, size_t>> spareRows;
std::vector<DeflatedPng> spareDeflated;

// The outcomes not yet logged, and the ticket whose outcome comes next.
std::map<long, std::function<void()>> settled;
long nextTicket = 0;
long nextToLog = 0;

// Where thumbnails go, when the working directory asks for them.
FileDirectory thumbnailFolder{kWorkingDirectory, ""};
bool thumbnailsAsked = false;

// Written before its poster, so that it is there once the poster is; one
// that cannot be made or written is left out (the batch then makes it).
void writeThumbnail(const PosterWrite& poster) {
  const std::string& path = poster.path;
  const size_t suffix = std::strlen(kPosterFile.suffix);
  if (path.size() <= suffix || path.compare(path.size() - suffix, suffix, kPosterFile.suffix) != 0)
    return;
  const Thumbnail thumbnail =
      thumbnailOfPixels(poster.rows.get() + 1, poster.w, poster.h, filteredPngPitch(poster.w));
  if (thumbnail.jpeg.empty()) return;
  writeWholeFile(thumbnailFolder, path.substr(0, path.size() - suffix) + kThumbnailFile.suffix,
                 [&thumbnail](const ByteSink& write) {
                   write(thumbnail.jpeg.data(), thumbnail.jpeg.size());
                   return std::string();
                 });
}

void allocationFailed(long ticket) {
  settleExport(ticket, [] { SDL_Log("Failed allocating memory\n"); });
}

DeflatedPng takeDeflated() {
  std::lock_guard<std::mutex> lock(mutex);
  if (spareDeflated.empty()) return {};
  DeflatedPng png = std::move(spareDeflated.back());
  spareDeflated.pop_back();
  return png;
}

void giveDeflatedBack(DeflatedPng png) {
  std::lock_guard<std::mutex> lock(mutex);
  spareDeflated.push_back(std::move(png));
}

// The pixels are filtered where they lie; their buffer goes back as soon
// as they are deflated, for the next poster's read-back.
void writePoster(PosterWrite& poster, DeflatedPng& png) {
  if (thumbnailsAsked) writeThumbnail(poster);
  if (!filterPngRowsInPlace(poster.rows.get(), poster.w, poster.h) ||
      !deflatePngRows(poster.rows.get(), poster.w, poster.h, png))
    return allocationFailed(poster.ticket);
  givePosterBufferBack(std::move(poster.rows), poster.w, poster.h);
  const WriteFailure failure =
      writeWholeFile({kWorkingDirectory, ""}, poster.path, [&png](const ByteSink& write) {
        writePngChunks(png, write);
        return std::string();
      });
  if (!failure) {
    settleExport(poster.ticket,
                 [path = poster.path] { SDL_Log(kSavedPosterFormat, path.c_str()); });
  } else {
    settleExport(poster.ticket, [error = poster.path + ": " + failure.reason] {
      SDL_Log("Failed saving image: %s\n", error.c_str());
    });
  }
}

void writeCaught(PosterWrite& poster) {
  DeflatedPng png = takeDeflated();
  try {
    writePoster(poster, png);
  } catch (const std::bad_alloc&) {
    allocationFailed(poster.ticket);
  }
  if (poster.rows) givePosterBufferBack(std::move(poster.rows), poster.w, poster.h);
  giveDeflatedBack(std::move(png));
}

void runWriter() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    changed.wait(lock, [] { return stopping || !waiting.empty(); });
    if (waiting.empty()) return;
    PosterWrite poster = std::move(waiting.front());
    waiting.pop_front();
    lock.unlock();
    writeCaught(poster);
    lock.lock();
  }
}

}  // namespace

void startPosterWriters(int posters) {
  thumbnailsAsked = openFileDirectory(kThumbnailRequestName, thumbnailFolder);
  const int count = std::min(allowedCpuCount(), posters);
  if (count < 2) return;
  std::atexit(finishPosterWrites);
  writers = startWorkers(count, runWriter);
}

long beginExport() {
  std::lock_guard<std::mutex> lock(mutex);
  return nextTicket++;
}

void settleExport(long ticket, std::function<void()> log) {
  std::lock_guard<std::mutex> lock(mutex);
  settled.emplace(ticket, std::move(log));
  for (auto next = settled.find(nextToLog); next != settled.end(); next = settled.find(nextToLog)) {
    next->second();
    settled.erase(next);
    ++nextToLog;
  }
}

ByteBuffer takePosterBuffer(int w, int h) {
  const size_t size = filteredPngSize(w, h);
  std::unique_lock<std::mutex> lock(mutex);
  if (!writers.empty()) {
    const int bound = static_cast<int>(writers.size());
    changed.wait(lock, [bound] { return inFlight < bound; });
    ++inFlight;
  }
  while (!spareRows.empty()) {
    auto spare = std::move(spareRows.back());
    spareRows.pop_back();
    if (spare.second == size) return std::move(spare.first);
  }
  lock.unlock();
  ByteBuffer rows(static_cast<uint8_t*>(std::malloc(size)));
  if (!rows) {
    lock.lock();
    if (!writers.empty()) --inFlight;
    changed.notify_all();
  }
  return rows;
}

void givePosterBufferBack(ByteBuffer rows, int w, int h) {
  std::lock_guard<std::mutex> lock(mutex);
  spareRows.emplace_back(std::move(rows), filteredPngSize(w, h));
  if (!writers.empty()) --inFlight;
  changed.notify_all();
}

void writePosterAsync(long ticket, ByteBuffer rows, int w, int h, const std::string& path) {
  PosterWrite poster{ticket, std::move(rows), w, h, path};
  std::unique_lock<std::mutex> lock(mutex);
  if (writers.empty()) {
    lock.unlock();
    return writeCaught(poster);
  }
  waiting.push_back(std::move(poster));
  changed.notify_all();
}

void finishPosterWrites() {
  std::unique_lock<std::mutex> lock(mutex);
  stopping = true;
  changed.notify_all();
  lock.unlock();
  for (std::thread& writer : writers)
    if (writer.joinable()) writer.join();
  lock.lock();
  spareRows.clear();
  spareDeflated.clear();
}
