// Tells how a caption's text runs: the direction of its first strong
// character and the script most of its letters are written in, which the
// shaper must be told for right-to-left and complex scripts.
#ifndef POSTERGEN_CAPTIONS_CAPTION_SCRIPT_H_
#define POSTERGEN_CAPTIONS_CAPTION_SCRIPT_H_

#include <string>

struct CaptionScript {
  bool rightToLeft = false;
  // The ISO 15924 code of the script most letters belong to, when it is
  // one that is shaped (Hebrew, Arabic, the Indic scripts, Thai and the
  // like); empty for those set one letter after another (Latin, Han, ...).
  const char* script = "";
  // Right-to-left letters beside left-to-right ones, or numbers in a
  // right-to-left caption: the caption is laid out in one direction, so
  // some of it reads out of order.
  bool mixesDirections = false;
};

// The text's code points up to its first NUL, as rendering sees them;
// bytes that are not UTF-8 are skipped.
std::u32string codePointsOf(const std::string& utf8);

CaptionScript captionScript(const std::string& utf8);

#endif  // POSTERGEN_CAPTIONS_CAPTION_SCRIPT_H_
