// Turns photographs upright by the EXIF Orientation tag that cameras and
// phones record instead of rotating the pixels themselves.
#ifndef POSTERGEN_RESOURCES_ORIENTATION_H_
#define POSTERGEN_RESOURCES_ORIENTATION_H_

#include <SDL.h>

#include <cstdio>
#include <string>

// The file's EXIF Orientation, 1 to 8; 1 (as stored) when the file has no
// EXIF data, no such tag, or damaged data. Read from the file's start, as
// libexif's file loader reads it, which finds EXIF data in JPEGs only.
int exifOrientation(std::FILE* file);
// The same for the file at path; 1 when it cannot be opened.
int exifOrientation(const std::string& path);

// Where the viewed pixel (x, y) lies in the stored picture of w x h pixels
// under the orientation.
SDL_Point storedPosition(int orientation, int x, int y, int w, int h);

// Returns the surface as it is to be viewed under the orientation: 2 to 8
// mirror and turn it (5 to 8 swap width and height) into a new surface of
// the same pixel format, and free the one given. Orientation 1 or any other
// value returns the surface itself. Returns null, with the given surface
// freed, when the new surface cannot be made.
SDL_Surface* turnUpright(SDL_Surface* surface, int orientation);

#endif  // POSTERGEN_RESOURCES_ORIENTATION_H_
