#include "resources/heif_surface.h"

#include <lcms2.h>
#include <libheif/heif.h>

#include <cstring>
#include <memory>

#include "resources/colour_management.h"
#include "resources/file_reading.h"

namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
  void operator()(T* p) const { Free(p); }
};
using Context = std::unique_ptr<heif_context, Freer<heif_context, heif_context_free>>;
using Handle =
    std::unique_ptr<heif_image_handle, Freer<const heif_image_handle, heif_image_handle_release>>;
using Image = std::unique_ptr<heif_image, Freer<const heif_image, heif_image_release>>;

SDL_Surface* failed(const heif_error& error) {
  SDL_SetError("%s", error.message);
  return nullptr;
}

std::string iccProfileOf(const heif_image_handle* handle) {
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
  if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return "";
  std::string profile(heif_image_handle_get_raw_color_profile_size(handle), '\0');
  if (profile.empty() ||
      heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok)
    return "";
  return profile;
}

// The tone curve of an nclx transfer characteristic, as an ICC parametric
// curve (type 4: Y = (aX + b)^g above d, cX below); null for one that is
// not a plain display curve (PQ, HLG), which is left as decoded.
cmsToneCurve* toneCurveOf(int transfer) {
  switch (transfer) {
    case 2:     // unspecified: taken as sRGB, as for an image without a profile
    case 13: {  // sRGB (IEC 61966-2-1), Display P3's
      const double srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
      return cmsBuildParametricToneCurve(nullptr, 4, srgb);
    }
    case 1:  // BT.709, BT.601, BT.2020
    case 6:
    case 14:
    case 15: {
      const double bt709[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
      return cmsBuildParametricToneCurve(nullptr, 4, bt709);
    }
    case 4: return cmsBuildGamma(nullptr, 2.2);
    case 5: return cmsBuildGamma(nullptr, 2.8);
    case 8: return cmsBuildGamma(nullptr, 1.0);
    default: return nullptr;
  }
}

// An ICC profile made from the file's nclx colour description (primaries,
// white point and transfer), so that colours such as a phone's Display P3
// are brought to sRGB as an embedded profile's are. Empty for sRGB itself
// (BT.709 primaries with the sRGB curve) or a description without one.
std::string nclxProfileOf(const heif_image_handle* handle) {
  heif_color_profile_nclx* nclx = nullptr;
  if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx)
    return "";
  std::unique_ptr<heif_color_profile_nclx,
                  Freer<heif_color_profile_nclx, heif_nclx_color_profile_free>>
      owned(nclx);
  const int primaries = nclx->color_primaries;
  const int transfer = nclx->transfer_characteristics;
  if ((primaries == 1 || primaries == 2) && (transfer == 13 || transfer == 2)) return "";
  if (primaries == 2) return "";  // unspecified primaries: nothing to convert from
  cmsToneCurve* curve = toneCurveOf(transfer);
  if (!curve) return "";
  const cmsCIExyY white{nclx->color_primary_white_x, nclx->color_primary_white_y, 1};
  const cmsCIExyYTRIPLE rgb{{nclx->color_primary_red_x, nclx->color_primary_red_y, 1},
                            {nclx->color_primary_green_x, nclx->color_primary_green_y, 1},
                            {nclx->color_primary_blue_x, nclx->color_primary_blue_y, 1}};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &rgb, curves);
  cmsFreeToneCurve(curve);
  std::string bytes;
  cmsUInt32Number size = 0;
  if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
    bytes.resize(size);
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
  }
  if (profile) cmsCloseProfile(profile);
  return bytes;
}

// libheif reads the open file through these as it reads a file it opens
// itself: the length is taken once, and no read goes past it.
struct HeifInput {
  std::FILE* file;
  int64_t length;
};

int64_t positionIn(void* input) { return fileOffset(static_cast<HeifInput*>(input)->file); }

int readFrom(void* data, size_t size, void* input) {
  auto* in = static_cast<HeifInput*>(input);
  const int64_t at = fileOffset(in->file);
  if (at < 0 || at + static_cast<int64_t>(size) > in->length) return -1;
  return std::fread(data, 1, size, in->file) == size ? 0 : -1;
}

int seekTo(int64_t position, void* input) {
  return seekFile(static_cast<HeifInput*>(input)->file, position, SEEK_SET);
}

heif_reader_grow_status growTo(int64_t target, void* input) {
  return target > static_cast<HeifInput*>(input)->length ? heif_reader_grow_status_size_beyond_eof
                                                         : heif_reader_grow_status_size_reached;
}

}  // namespace

SDL_Surface* decodeHeifSurface(std::FILE* file, const std::string& path) {
  std::rewind(file);
  HeifInput input{file, fileSize(file)};  // outlives the context that reads it
  Context context(heif_context_alloc());
  if (!context) return SDL_SetError("Out of memory"), nullptr;
  static const heif_reader reader{1, positionIn, readFrom, seekTo, growTo};
  heif_error error = heif_context_read_from_reader(context.get(), &reader, &input, nullptr);
  if (error.code != heif_error_Ok) return failed(error);
  heif_image_handle* primary = nullptr;
  error = heif_context_get_primary_image_handle(context.get(), &primary);
  if (error.code != heif_error_Ok) return failed(error);
  Handle handle(primary);
  const bool alpha = heif_image_handle_has_alpha_channel(primary);
  heif_image* decoded = nullptr;
  // The file's transformations are applied (libheif's default).
  error = heif_decode_image(primary, &decoded, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            nullptr);
  if (error.code != heif_error_Ok) return failed(error);
  Image image(decoded);
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
  const int w = heif_image_get_width(decoded, heif_channel_interleaved);
  const int h = heif_image_get_height(decoded, heif_channel_interleaved);
  if (!plane || w <= 0 || h <= 0 ||
      heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved) != 8)
    return SDL_SetError("the decoded image has no 8-bit samples"), nullptr;
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(
      0, w, h, alpha ? 32 : 24, alpha ? SDL_PIXELFORMAT_RGBA32 : SDL_PIXELFORMAT_RGB24);
  if (!surface) return nullptr;
  const size_t row = static_cast<size_t>(w) * (alpha ? 4 : 3);
  for (int y = 0; y < h; ++y)
    std::memcpy(static_cast<uint8_t*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch,
                plane + static_cast<size_t>(y) * stride, row);
  const std::string icc = iccProfileOf(primary);
  return convertToSrgb(surface, icc.empty() ? nclxProfileOf(primary) : icc, path);
}
