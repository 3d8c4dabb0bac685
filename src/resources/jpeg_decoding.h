// Decodes a JPEG file with libjpeg in a single pass and reports, beside the
// samples, what is needed to show them in their true colours (ink
// convention, embedded ICC profile) and whether libjpeg found the data
// damaged. Needs no SDL.
#ifndef POSTERGEN_RESOURCES_JPEG_DECODING_H_
#define POSTERGEN_RESOURCES_JPEG_DECODING_H_

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

struct JpegPicture {
  int width = 0;
  int height = 0;
  // Four samples a pixel, C, M, Y and K (CMYK and YCCK files); otherwise
  // three, R, G and B (grey pictures are expanded).
  bool cmyk = false;
  // The file carries Adobe's marker, whose CMYK samples are stored
  // inverted: 255 is no ink.
  bool adobeMarker = false;
  std::string iccProfile;  // the embedded ICC profile, empty when there is none
  // libjpeg's text for the first of its warnings (data ending early,
  // corrupt data, extraneous bytes), empty when there was none.
  std::string warning;
  int warningCount = 0;
  std::string error;  // why the picture could not be decoded
};

// Where decoded rows go. Once the size is known, start returns the first
// row's memory and sets pitch (bytes from one row to the next), or returns
// null to give up. A pitch of 0 puts every row in the same memory, and
// rowDecoded is then called with each row's number as soon as it is there.
struct JpegRowTarget {
  std::function<unsigned char*(const JpegPicture&, size_t& pitch)> start;
  std::function<void(int row)> rowDecoded;
};

// Decodes the file from its start into the target's rows, as SDL_image
// decodes JPEGs (the same library and settings, so the same samples).
// Returns false, with error set, when libjpeg fails or the target gives up.
bool decodeJpeg(std::FILE* file, JpegPicture& picture, const JpegRowTarget& target);

#endif  // POSTERGEN_RESOURCES_JPEG_DECODING_H_
