// Decodes the run's images on worker threads, in the order they will be
// loaded and ahead of the main thread, which makes their textures in that
// order. The warnings a decoding logs are held back and logged when the
// main thread takes its image, so the log reads as if each image were
// decoded when its texture is made. Each image's file is opened once: its
// header is read and its picture decoded from the same open file.
#ifndef POSTERGEN_RESOURCES_DECODE_AHEAD_H_
#define POSTERGEN_RESOURCES_DECODE_AHEAD_H_

#include <SDL.h>

#include <string>
#include <vector>

#include "resources/image_decoding.h"

// The look-ahead is bounded by count, one image per worker, and by the
// decoded bytes its headers announce, so that the decode limit's promise
// holds: images decoded and not yet taken never hold more than this (one
// larger image is decoded alone).
constexpr long long kDecodeAheadBytes = 1LL << 30;

struct ImageToDecode {
  std::string path;
  bool photograph;
  Placement placement;  // where it is drawn, so that it is decoded no larger
};

// Starts decoding the images into surfaces ready for textures of target
// (image_decoding.h), one worker per CPU this process may run on, but no
// more than there are images. The picks of pictures drawn smaller than they
// are come from picks, which the workers call through the main thread while
// it waits for an image: only it may draw. With one CPU there are no
// workers, and each image is decoded when it is taken, on the main thread.
void startDecodingAhead(std::vector<ImageToDecode> images, const TextureTarget& target,
                        PickReader picks);

// The decoding of the next image, which must be path (anything else is
// decoded here and now), with its held-back warnings logged.
DecodedImage takeDecodedImage(const std::string& path, bool photograph, Placement placement);

// Stops the workers once the images they are decoding are done, freeing
// what was not taken. The run calls it when every image has been taken,
// and before it ends in any other way; calling it again does nothing.
void stopDecodingAhead();

#endif  // POSTERGEN_RESOURCES_DECODE_AHEAD_H_
