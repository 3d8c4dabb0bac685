// Replaces every occurrence of a byte string in another.
#ifndef POSTERGEN_CAPTIONS_REPLACE_ALL_H_
#define POSTERGEN_CAPTIONS_REPLACE_ALL_H_

#include <string>

// Returns subject with every occurrence of pattern, found left to right
// without overlap, replaced. Inserted text is never searched again, so a
// replacement that contains the pattern does not match twice. pattern must
// not be empty.
std::string replaceAll(std::string subject, std::string pattern, std::string replacement);

#endif  // POSTERGEN_CAPTIONS_REPLACE_ALL_H_
