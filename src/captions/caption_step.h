// Loads and prepares the caption of one item.
#ifndef POSTERGEN_CAPTIONS_CAPTION_STEP_H_
#define POSTERGEN_CAPTIONS_CAPTION_STEP_H_

#include <string>

// Puts one space after every full-width comma and ideographic full stop, so
// that wrapped rendering may break the line there.
std::string spaceAfterFullWidthMarks(std::string caption);

// The longest caption accepted. SDL_ttf's wrapped rendering takes time that
// grows with the square of the text's length and copies the text onto the
// stack, so a much longer caption would stall or crash the run.
constexpr size_t kMaxCaptionBytes = 64 * 1024;

// Reads "d" + item + ".txt" into the item's caption slot, logs it, spaces it
// and logs it again; a caption that is not UTF-8 gets a warning line first.
// A warning follows when the font lacks some of its characters, and when it
// mixes right-to-left with left-to-right text (captions/caption_script.h).
// A caption longer than kMaxCaptionBytes ends the run with status -114515
// before any poster is drawn, as soon as reading passes the limit.
void loadCaption(int item);

#endif  // POSTERGEN_CAPTIONS_CAPTION_STEP_H_
