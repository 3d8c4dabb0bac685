// Writes posters on worker threads while the main thread composes the next
// ones, and logs the outcome of every export in the order the exports
// began, each once it is final (a "Saved" line once its file is in place).
#ifndef POSTERGEN_POSTER_EXPORT_QUEUE_H_
#define POSTERGEN_POSTER_EXPORT_QUEUE_H_

#include <functional>
#include <string>

#include "png/png_writer.h"

// Starts the writers, one per CPU this process may run on but no more than
// there are posters to write. When the working directory asks for
// thumbnails (kThumbnailRequestName), each poster's is written first. With
// one CPU (or one poster) there are none, and each poster is written on the
// calling thread as it is handed over, as a single-threaded run would.
void startPosterWriters(int posters);

// Takes the next place in the log's order; each export takes one as it
// begins.
long beginExport();

// Logs the outcome of the export with this ticket through log, as soon as
// the outcome of every export before it has been logged.
void settleExport(long ticket, std::function<void()> log);

// A buffer for a w x h poster's pixels, laid out as its filtered rows will
// be (png_writer.h's filterPngRowsInPlace), so that the writer filters them
// where they lie. Buffers come back once their posters are written and are
// used again; there are never more than writers. Waits while as many posters
// as there are writers are in flight, so that memory stays bounded; null when
// memory runs out. Each buffer taken goes to writePosterAsync or back to
// givePosterBufferBack.
ByteBuffer takePosterBuffer(int w, int h);
void givePosterBufferBack(ByteBuffer rows, int w, int h);

// Hands the read-back pixels of the export with this ticket, in a buffer
// from takePosterBuffer, to a writer, which filters, deflates and writes
// them to path (whole or absent) and settles the ticket.
void writePosterAsync(long ticket, ByteBuffer rows, int w, int h, const std::string& path);

// Waits until every poster handed over is written and its outcome logged,
// then stops the writers and frees the buffers. The run calls it before it ends, whichever way;
// calling it again does nothing.
void finishPosterWrites();

#endif  // POSTERGEN_POSTER_EXPORT_QUEUE_H_
