// Loads and prepares the caption of one item.
#ifndef POSTERGEN_CAPTIONS_CAPTION_STEP_H_
#define POSTERGEN_CAPTIONS_CAPTION_STEP_H_

#include <string>

// Puts one space after every full-width comma and ideographic full stop, so
// that wrapped rendering may break the line there.
std::string spaceAfterFullWidthMarks(std::string caption);

// Reads "d" + item + ".txt" into the item's caption slot, logs it, spaces it
// and logs it again.
void loadCaption(int item);

#endif  // POSTERGEN_CAPTIONS_CAPTION_STEP_H_
