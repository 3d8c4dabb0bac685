// What passes between postergen and the programs that start it and read
// what it says (postergen-batch, scripts): the names in its working
// directory, the log lines that are read back, and the exit statuses. Both
// programs take them from here, so neither can change one without the
// other; tests/contract_test.cpp runs postergen and reads it with the
// batch's own readers.
#ifndef POSTERGEN_CONTRACT_RUN_CONTRACT_H_
#define POSTERGEN_CONTRACT_RUN_CONTRACT_H_

#include <string>

// The shared inputs of a working directory.
constexpr const char* kRunConfigurationName = "size.txt";
constexpr const char* kFontName = "font.ttf";
constexpr const char* kBackgroundName = "bg.png";

// Item i's files: prefix, the decimal digits of i (no sign, no leading
// zeros), suffix.
struct ItemFile {
  const char* prefix;
  const char* suffix;
};
constexpr ItemFile kCaptionFile{"d", ".txt"};
constexpr ItemFile kPhotographFile{"city_photo", ".jpeg"};
constexpr ItemFile kPosterFile{"result", ".png"};

inline std::string itemFileName(ItemFile file, int item) {
  return file.prefix + std::to_string(item) + file.suffix;
}

// A run asks for thumbnails by holding a directory of this name: postergen
// then writes each poster's thumbnail there (thumbnail/thumbnail.h), whole
// and before its poster, named as the poster but for kThumbnailSuffix.
// A thumbnail that cannot be written is left out, without a word; whoever
// asked makes it from the poster.
constexpr const char* kThumbnailRequestName = ".postergen-thumbnails";
constexpr ItemFile kThumbnailFile{"result", ".jpg"};

// Every poster is this size. A photograph is drawn into at most this many
// of its pixels (its box, 1292 x 1292): postergen keeps a larger one at that
// size, and the batch counts it so.
constexpr int kPosterWidth = 2160;
constexpr int kPosterHeight = 3840;
constexpr long long kPhotographDrawnPixels = 1292LL * 1292;

// Exit statuses of a run that ends early. A POSIX parent sees the low eight
// bits (seenStatus): 174, 173 and 2. A run that reaches its end returns 0,
// also when a poster could not be written.
constexpr int kExitUnloadable = -114514;    // an input cannot be opened or decoded
constexpr int kExitUnrenderable = -114515;  // an image or caption cannot be drawn
constexpr int kExitTooManyItems = 2;        // size.txt asks for more than a run holds
constexpr int seenStatus(int status) { return status & 0xFF; }

// Every log line goes to standard error through SDL_Log, which puts this
// before it.
constexpr const char* kLogLinePrefix = "INFO: ";
// Logged with the poster's file name once the poster is whole at that name.
constexpr const char* kSavedPosterFormat = "Saved texture as PNG to \"%s\"\n";
// A warning begins so, followed by the name of the file it concerns.
constexpr const char* kWarningPrefix = "Warning:";

#endif  // POSTERGEN_CONTRACT_RUN_CONTRACT_H_
