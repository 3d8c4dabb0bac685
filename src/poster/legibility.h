// How large a caption's lines print on the poster once it is fitted.
#ifndef POSTERGEN_POSTER_LEGIBILITY_H_
#define POSTERGEN_POSTER_LEGIBILITY_H_

// Below this line height, in poster pixels, a caption is too small to read
// on a printed 2160 x 3840 poster.
constexpr int kMinLegibleLineHeight = 32;

// The height in poster pixels of a line lineHeight pixels high in a caption
// raster of w x h pixels, once the raster is fitted into the caption box.
int printedLineHeight(int lineHeight, int w, int h);

#endif  // POSTERGEN_POSTER_LEGIBILITY_H_
