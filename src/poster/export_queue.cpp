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
  ByteBuffer pixels;
  int w;
  int h;
  std::string path;
};

std::mutex mutex;
std::condition_variable changed;
std::deque<PosterWrite> waiting;
int inFlight = 0;  // waiting or being written
bool stopping = false;
std::vector<std::thread> writers;

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
      thumbnailOfPixels(poster.pixels.get(), poster.w, poster.h, static_cast<size_t>(poster.w) * 4);
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

// Filtering and deflating need memory for the filtered rows and the
// deflated stream; the pixels are freed as soon as they are filtered.
void writePoster(PosterWrite& poster) {
  if (thumbnailsAsked) writeThumbnail(poster);
  ByteBuffer rows =
      filterPngRows(poster.pixels.get(), poster.w, poster.h, static_cast<size_t>(poster.w) * 4);
  poster.pixels.reset();
  DeflatedPng png;
  if (!rows || !deflatePngRows(rows.get(), poster.w, poster.h, png))
    return allocationFailed(poster.ticket);
  rows.reset();
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
  try {
    writePoster(poster);
  } catch (const std::bad_alloc&) {
    allocationFailed(poster.ticket);
  }
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
    --inFlight;
    changed.notify_all();
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

void writePosterAsync(long ticket, ByteBuffer pixels, int w, int h, const std::string& path) {
  PosterWrite poster{ticket, std::move(pixels), w, h, path};
  std::unique_lock<std::mutex> lock(mutex);
  if (writers.empty()) {
    lock.unlock();
    return writeCaught(poster);
  }
  const int bound = static_cast<int>(writers.size());
  changed.wait(lock, [bound] { return inFlight < bound; });
  ++inFlight;
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
}
