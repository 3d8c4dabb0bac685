// Finds the characters of a caption that the font cannot draw.
#ifndef POSTERGEN_CAPTIONS_GLYPH_CHECK_H_
#define POSTERGEN_CAPTIONS_GLYPH_CHECK_H_

#include <SDL_ttf.h>

#include <string>
#include <vector>

// True for what is never drawn as a glyph of its own: controls and line
// breaks, variation selectors, joiners and other invisible format
// characters.
bool drawnWithoutGlyph(char32_t c);

// The caption's characters that the font has no glyph for, in order, each
// as often as it occurs.
std::vector<char32_t> missingGlyphs(TTF_Font* font, const std::string& caption);

// Logs, when the font lacks some of the caption's characters, one warning
// that names the file, how many there are and the first few.
void warnOfMissingGlyphs(TTF_Font* font, const std::string& path, const std::string& caption);

#endif  // POSTERGEN_CAPTIONS_GLYPH_CHECK_H_
