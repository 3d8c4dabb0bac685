#include "resources/colour_management.h"

#include <lcms2.h>

#include <cstdlib>
#include <memory>

#include "app/warning_log.h"

namespace {

struct ProfileCloser {
  void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
  void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

void warnUnusable(const std::string& path, const char* why) {
  logWarning("%s has a colour profile that %s; its colours are used as decoded\n", path.c_str(),
             why);
}

Profile openProfile(const std::string& bytes, const std::string& path) {
  Profile profile(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
  if (!profile) warnUnusable(path, "cannot be read");
  return profile;
}

Transform toSrgb(const Profile& from, cmsUInt32Number inFormat, cmsUInt32Number outFormat,
                 cmsUInt32Number flags = 0) {
  Profile srgb(cmsCreate_sRGBProfile());
  return Transform(cmsCreateTransform(from.get(), inFormat, srgb.get(), outFormat,
                                      INTENT_PERCEPTUAL, flags | cmsFLAGS_NOCACHE));
}

// Most embedded profiles are sRGB itself (cameras, phones, editors), or
// one that maps colours as sRGB does: converting through them would only
// add rounding, so they are told by what they do to a grid of colours.
bool actsAsSrgb(const Transform& transform) {
  unsigned char in[6 * 6 * 6 * 3];
  unsigned char out[sizeof in];
  int n = 0;
  for (int r = 0; r < 256; r += 51)
    for (int g = 0; g < 256; g += 51)
      for (int b = 0; b < 256; b += 51) {
        in[n++] = static_cast<unsigned char>(r);
        in[n++] = static_cast<unsigned char>(g);
        in[n++] = static_cast<unsigned char>(b);
      }
  cmsDoTransform(transform.get(), in, out, n / 3);
  for (int i = 0; i < n; ++i)
    if (std::abs(in[i] - out[i]) > 1) return false;
  return true;
}

void transformRows(const Transform& transform, SDL_Surface* surface) {
  SDL_LockSurface(surface);
  auto* pixels = static_cast<unsigned char*>(surface->pixels);
  for (int y = 0; y < surface->h; ++y) {
    unsigned char* row = pixels + y * surface->pitch;
    cmsDoTransform(transform.get(), row, row, static_cast<cmsUInt32Number>(surface->w));
  }
  SDL_UnlockSurface(surface);
}

void transformPalette(const Transform& transform, SDL_Palette* palette) {
  std::vector<unsigned char> rgb(static_cast<size_t>(palette->ncolors) * 3);
  for (int i = 0; i < palette->ncolors; ++i) {
    rgb[3 * i] = palette->colors[i].r;
    rgb[3 * i + 1] = palette->colors[i].g;
    rgb[3 * i + 2] = palette->colors[i].b;
  }
  cmsDoTransform(transform.get(), rgb.data(), rgb.data(), palette->ncolors);
  std::vector<SDL_Color> colours(palette->colors, palette->colors + palette->ncolors);
  for (int i = 0; i < palette->ncolors; ++i)
    colours[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], colours[i].a};
  SDL_SetPaletteColors(palette, colours.data(), 0, palette->ncolors);
}

}  // namespace

void warnOfUnreadableProfile(const std::string& path) { warnUnusable(path, "cannot be read"); }

SDL_Surface* convertToSrgb(SDL_Surface* surface, const std::string& profileBytes,
                           const std::string& path) {
  if (!surface || profileBytes.empty()) return surface;
  const Profile profile = openProfile(profileBytes, path);
  if (!profile) return surface;
  const cmsColorSpaceSignature space = cmsGetColorSpace(profile.get());
  if (space != cmsSigRgbData && space != cmsSigGrayData) {
    warnUnusable(path, "is not for RGB or grey pictures");
    return surface;
  }
  // Grey pictures are decoded to equal R, G and B: the first of the three
  // is read, the others are skipped.
  const cmsUInt32Number rgbIn = space == cmsSigGrayData ? TYPE_GRAY_8 | EXTRA_SH(2) : TYPE_RGB_8;
  const Transform probe = toSrgb(profile, rgbIn, TYPE_RGB_8);
  if (!probe) {
    warnUnusable(path, "cannot be used");
    return surface;
  }
  if (actsAsSrgb(probe)) return surface;
  const Uint32 format = surface->format->format;
  if (surface->format->palette) {
    transformPalette(probe, surface->format->palette);
  } else if (format == SDL_PIXELFORMAT_RGB24) {
    transformRows(probe, surface);
  } else {
    if (format != SDL_PIXELFORMAT_RGBA32) {
      SDL_Surface* rgba = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_RGBA32, 0);
      if (!rgba) return surface;
      SDL_FreeSurface(surface);
      surface = rgba;
    }
    const cmsUInt32Number rgbaIn =
        space == cmsSigGrayData ? TYPE_GRAY_8 | EXTRA_SH(3) : TYPE_RGBA_8;
    const Transform transform = toSrgb(profile, rgbaIn, TYPE_RGBA_8, cmsFLAGS_COPY_ALPHA);
    if (transform) transformRows(transform, surface);
  }
  return surface;
}

SDL_Surface* cmykToSrgb(const std::vector<unsigned char>& cmyk, int w, int h, bool adobeInverted,
                        const std::string& profileBytes, const std::string& path) {
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, w, h, 24, SDL_PIXELFORMAT_RGB24);
  if (!surface) return nullptr;
  Transform transform;
  if (!profileBytes.empty()) {
    if (const Profile profile = openProfile(profileBytes, path)) {
      if (cmsGetColorSpace(profile.get()) == cmsSigCmykData)
        transform = toSrgb(profile, adobeInverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, TYPE_RGB_8);
      if (!transform) warnUnusable(path, "is not for CMYK pictures");
    }
  }
  auto* pixels = static_cast<unsigned char*>(surface->pixels);
  for (int y = 0; y < h; ++y) {
    const unsigned char* in = cmyk.data() + static_cast<size_t>(y) * w * 4;
    unsigned char* out = pixels + y * surface->pitch;
    if (transform) {
      cmsDoTransform(transform.get(), in, out, static_cast<cmsUInt32Number>(w));
      continue;
    }
    // Without a profile: each colour is what its ink and the black leave
    // of white.
    for (int x = 0; x < w; ++x, in += 4, out += 3) {
      const int white = adobeInverted ? in[3] : 255 - in[3];
      for (int c = 0; c < 3; ++c) {
        const int left = adobeInverted ? in[c] : 255 - in[c];
        out[c] = static_cast<unsigned char>((left * white + 127) / 255);
      }
    }
  }
  return surface;
}
