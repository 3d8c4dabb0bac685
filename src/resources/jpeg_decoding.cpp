#include "resources/jpeg_decoding.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>

namespace {

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  JpegPicture* picture;
};

std::string messageOf(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  cinfo->err->format_message(cinfo, text);
  return text;
}

// libjpeg goes on past damaged data, filling in what is missing, and only
// emits a warning; these are kept instead of printed.
void keepWarning(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  if (errors->picture->warningCount++ == 0) errors->picture->warning = messageOf(cinfo);
}

}  // namespace

bool decodeJpeg(std::FILE* file, JpegPicture& picture, const JpegRowTarget& target) {
  jpeg_decompress_struct cinfo;
  JpegErrors errors;
  errors.picture = &picture;
  cinfo.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = [](j_common_ptr c) {
    std::longjmp(reinterpret_cast<JpegErrors*>(c->err)->jump, 1);
  };
  errors.manager.emit_message = keepWarning;
  bool decoded = false;
  if (setjmp(errors.jump) == 0) {
    jpeg_create_decompress(&cinfo);
    std::rewind(file);
    jpeg_stdio_src(&cinfo, file);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);  // ICC_PROFILE chunks
    jpeg_read_header(&cinfo, TRUE);
    JOCTET* profile = nullptr;
    unsigned int profileLength = 0;
    if (jpeg_read_icc_profile(&cinfo, &profile, &profileLength)) {
      picture.iccProfile.assign(reinterpret_cast<const char*>(profile), profileLength);
      std::free(profile);
    }
    picture.cmyk = cinfo.num_components == 4;
    picture.adobeMarker = cinfo.saw_Adobe_marker;
    cinfo.out_color_space = picture.cmyk ? JCS_CMYK : JCS_RGB;
    cinfo.quantize_colors = FALSE;
    jpeg_calc_output_dimensions(&cinfo);
    picture.width = static_cast<int>(cinfo.output_width);
    picture.height = static_cast<int>(cinfo.output_height);
    size_t pitch = 0;
    unsigned char* rows = target.start(picture, pitch);
    if (rows) {
      jpeg_start_decompress(&cinfo);
      while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION y = cinfo.output_scanline;
        JSAMPROW row = rows + y * pitch;
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (pitch == 0) target.rowDecoded(static_cast<int>(y));
      }
      jpeg_finish_decompress(&cinfo);
      decoded = true;
    } else {
      picture.error = "there is no memory for its " + std::to_string(picture.width) + " x " +
                      std::to_string(picture.height) + " pixels";
    }
  } else {
    picture.error = messageOf(reinterpret_cast<j_common_ptr>(&cinfo));
  }
  jpeg_destroy_decompress(&cinfo);
  return decoded;
}
