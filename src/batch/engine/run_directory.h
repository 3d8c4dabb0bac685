// A run directory: a working directory for one postergen run over some of
// the home's items, made of symbolic links to the home's files.
#ifndef POSTERGEN_BATCH_ENGINE_RUN_DIRECTORY_H_
#define POSTERGEN_BATCH_ENGINE_RUN_DIRECTORY_H_

#include <string>
#include <vector>

#include "batch/engine/home.h"
#include "batch/platform/directory.h"

// Makes name in parent (private; an existing name is refused) holding
// links (see linkTo) to font.ttf and bg.png, d<j>.txt and city_photo<j>.jpeg linking to
// item items[j-1]'s own files (an input the home lacks stays missing), and
// size.txt "<k> <font size>". Returns the new directory, held open.
// With thumbnails, it also asks postergen for the posters' thumbnails
// (kThumbnailRequestName).
Directory makeRunDirectory(const Directory& parent, const std::string& name, const Home& home,
                           const std::vector<int>& items, Problem& problem,
                           bool thumbnails = false);

#endif  // POSTERGEN_BATCH_ENGINE_RUN_DIRECTORY_H_
