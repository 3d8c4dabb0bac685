#include "resources/png_profile.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

std::string pngIccProfile(std::FILE* file, bool& unreadable) {
  std::rewind(file);
  std::string profile;
  unreadable = false;
  png_structp png = png_create_read_struct(
      PNG_LIBPNG_VER_STRING, &unreadable, [](png_structp p, png_const_charp) { png_longjmp(p, 1); },
      [](png_structp p, png_const_charp message) {
        if (std::strncmp(message, "iCCP", 4) == 0) *static_cast<bool*>(png_get_error_ptr(p)) = true;
      });
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info && setjmp(png_jmpbuf(png)) == 0) {
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_init_io(png, file);
    png_read_info(png, info);  // the iCCP chunk comes before the image data
    png_charp name = nullptr;
    int compression = 0;
    png_bytep data = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &data, &length) == PNG_INFO_iCCP)
      profile.assign(reinterpret_cast<const char*>(data), length);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return profile;
}
