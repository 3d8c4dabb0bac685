#include "resources/heif_surface.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>

#include "resources/colour_management.h"

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

}  // namespace

SDL_Surface* decodeHeifSurface(const std::string& path) {
  Context context(heif_context_alloc());
  if (!context) return SDL_SetError("Out of memory"), nullptr;
  heif_error error = heif_context_read_from_file(context.get(), path.c_str(), nullptr);
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
  return convertToSrgb(surface, iccProfileOf(primary), path);
}
