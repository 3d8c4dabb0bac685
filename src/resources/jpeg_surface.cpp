#include "resources/jpeg_surface.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/warning_log.h"
#include "resources/colour_management.h"
#include "resources/jpeg_decoding.h"

namespace {

// Picks that name only pixels of a w x h picture, rows in the order they
// are decoded.
bool picksWithin(const PixelPicks& picks, int w, int h) {
  auto within = [](const std::vector<int>& v, int n) {
    return !v.empty() && std::all_of(v.begin(), v.end(), [n](int i) { return i >= 0 && i < n; });
  };
  return within(picks.columns, w) && within(picks.rows, h) &&
         std::is_sorted(picks.rows.begin(), picks.rows.end());
}

// The decoded samples: every row, or with picks only the picked pixels, each
// row copied out of the one decoded row as it comes.
struct Samples {
  explicit Samples(const PixelPicks* given) : picks(given) {}
  const PixelPicks* picks;
  bool reducing = false;
  int width = 0;
  int height = 0;
  int channels = 3;
  std::vector<unsigned char> cmyk;
  SDL_Surface* rgb = nullptr;
  unsigned char* out = nullptr;
  size_t pitch = 0;
  std::vector<unsigned char> line;
  size_t nextRow = 0;

  unsigned char* start(const JpegPicture& p, size_t& rowPitch) {
    reducing = picks && picksWithin(*picks, p.width, p.height);
    width = reducing ? static_cast<int>(picks->columns.size()) : p.width;
    height = reducing ? static_cast<int>(picks->rows.size()) : p.height;
    channels = p.cmyk ? 4 : 3;
    try {
      if (reducing) line.resize(static_cast<size_t>(p.width) * channels);
      if (p.cmyk) {
        cmyk.resize(static_cast<size_t>(width) * height * 4);
        out = cmyk.data();
        pitch = static_cast<size_t>(width) * 4;
      }
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    if (!p.cmyk) {
      rgb = SDL_CreateRGBSurfaceWithFormat(0, width, height, 24, SDL_PIXELFORMAT_RGB24);
      if (!rgb) return nullptr;
      out = static_cast<unsigned char*>(rgb->pixels);
      pitch = static_cast<size_t>(rgb->pitch);
    }
    rowPitch = reducing ? 0 : pitch;
    return reducing ? line.data() : out;
  }

  void rowDecoded(int y) {
    for (; nextRow < picks->rows.size() && picks->rows[nextRow] == y; ++nextRow) {
      unsigned char* to = out + nextRow * pitch;
      for (int x = 0; x < width; ++x)
        std::memcpy(to + x * channels,
                    line.data() + static_cast<size_t>(picks->columns[x]) * channels, channels);
    }
  }
};

}  // namespace

SDL_Surface* decodeJpegSurface(std::FILE* file, const std::string& path, const PixelPicks* picks,
                               bool* reduced) {
  JpegPicture picture;
  Samples samples(picks);
  JpegRowTarget target;
  target.start = [&samples](const JpegPicture& p, size_t& pitch) {
    return samples.start(p, pitch);
  };
  target.rowDecoded = [&samples](int y) { samples.rowDecoded(y); };
  const bool decoded = decodeJpeg(file, picture, target);
  if (!decoded) {
    SDL_FreeSurface(samples.rgb);
    SDL_SetError("%s: the JPEG cannot be decoded: %s", path.c_str(), picture.error.c_str());
    return nullptr;
  }
  if (reduced) *reduced = samples.reducing;
  if (picture.warningCount > 0) {
    const int more = picture.warningCount - 1;
    const std::string others = more == 0 ? "" : " (and " + std::to_string(more) + " more)";
    logWarning("%s is damaged and may show only in part; libjpeg: %s%s\n", path.c_str(),
               picture.warning.c_str(), others.c_str());
  }
  if (!picture.cmyk) return convertToSrgb(samples.rgb, picture.iccProfile, path);
  SDL_Surface* surface = cmykToSrgb(samples.cmyk, samples.width, samples.height,
                                    picture.adobeMarker, picture.iccProfile, path);
  if (!surface) SDL_SetError("%s: out of memory for its pixels", path.c_str());
  return surface;
}
