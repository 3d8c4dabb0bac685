#include "support/scratch_run.h"

#include <SDL_image.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jpeglib.h>
#ifdef POSTERGEN_HAVE_HEIF
#include <libheif/heif.h>
#endif
#include <lcms2.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::vector<std::string> RunResult::logLines() const {
  std::vector<std::string> lines;
  std::istringstream in(log);
  std::string line;
  const std::string prefix = "INFO: ";
  while (std::getline(in, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line.substr(prefix.size()));
  }
  return lines;
}

std::vector<std::string> linesStartingWith(const std::vector<std::string>& lines,
                                           const std::string& prefix) {
  std::vector<std::string> found;
  for (const auto& line : lines)
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  return found;
}

bool near(Rgba x, Rgba y, int tolerance) {
  return std::abs(x.r - y.r) <= tolerance && std::abs(x.g - y.g) <= tolerance &&
         std::abs(x.b - y.b) <= tolerance && std::abs(x.a - y.a) <= tolerance;
}

std::string describe(Rgba c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + "," +
         std::to_string(c.a) + ")";
}

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "postergen-XXXXXX");
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  if (!std::getenv("POSTERGEN_KEEP_SCRATCH")) {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
}

void ScratchDir::write(const std::string& name, const std::string& bytes) const {
  std::ofstream(at(name), std::ios::binary) << bytes;
}

std::string ScratchDir::read(const std::string& name) const {
  std::ifstream in(at(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool ScratchDir::exists(const std::string& name) const { return fs::exists(at(name)); }

void ScratchDir::makeDirectory(const std::string& name) const { fs::create_directory(at(name)); }

void ScratchDir::copyFrom(const std::string& source, const std::string& name) const {
  fs::copy_file(source, at(name), fs::copy_options::overwrite_existing);
}

std::vector<std::string> ScratchDir::entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

Rgba photoColour(int item) {
  static const Rgba palette[] = {{220, 30, 30, 255},  {30, 160, 40, 255},  {40, 60, 220, 255},
                                 {230, 200, 20, 255}, {160, 40, 180, 255}, {20, 180, 190, 255}};
  return palette[(item - 1) % 6];
}

void ScratchDir::populate(int items, int fontSize) const {
  write("size.txt", std::to_string(items) + " " + std::to_string(fontSize) + "\n");
  copyFrom(kLatinFont, "font.ttf");
  savePng(solidSurface(1080, 1920, {200, 220, 240, 255}), at("bg.png"));
  for (int i = 1; i <= items; ++i) {
    write("d" + std::to_string(i) + ".txt", "Caption " + std::to_string(i));
    saveJpeg(solidSurface(400 + i, 300, photoColour(i)),
             at("city_photo" + std::to_string(i) + ".jpeg"));
  }
}

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

RunResult ScratchDir::run(const std::map<std::string, std::string>& env) const {
  const std::string outPath = path_ + ".stdout";
  const std::string errPath = path_ + ".stderr";
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    if (chdir(path_.c_str()) != 0) _exit(120);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(121);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
#ifdef POSTERGEN_SANITIZED
    // OpenGL drivers leak by themselves; leaks are looked for where SDL's
    // software renderer does all the work.
    const auto driver = env.find("SDL_VIDEODRIVER");
    const bool software = driver != env.end() && driver->second == "dummy";
    setenv("ASAN_OPTIONS", software ? "detect_leaks=1" : "detect_leaks=0", 0);
#endif
    for (const auto& [name, value] : env) {
      if (name == kOneCpu) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        if (sched_setaffinity(0, sizeof one, &one) != 0) _exit(123);
      } else {
        setenv(name.c_str(), value.c_str(), 1);
      }
    }
    execl(POSTERGEN_BINARY, POSTERGEN_BINARY, "--ignored", "argument", static_cast<char*>(nullptr));
    _exit(122);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  RunResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.peakKib = usage.ru_maxrss;
  result.out = slurp(outPath);
  result.log = slurp(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return result;
}

RunResult ScratchDir::runTraced(std::vector<std::string>& trace,
                                std::map<std::string, std::string> env) const {
  const std::string tracePath = path_ + ".trace";
  std::remove(tracePath.c_str());
  env["LD_PRELOAD"] = POSTERGEN_TRACER;
  env["POSTERGEN_TRACE_FILE"] = tracePath;
  RunResult result = run(env);
  std::istringstream in(slurp(tracePath));
  trace.clear();
  for (std::string line; std::getline(in, line);) trace.push_back(line);
  std::remove(tracePath.c_str());
  return result;
}

Surface solidSurface(int w, int h, Rgba colour) {
  Rgba quadrants[4] = {colour, colour, colour, colour};
  return quadrantSurface(w, h, quadrants);
}

Surface quadrantSurface(int w, int h, const Rgba quadrants[4]) {
  Surface s(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ABGR8888));
  if (!s) throw std::runtime_error(SDL_GetError());
  for (int q = 0; q < 4; ++q) {
    const SDL_Rect r{q % 2 ? w / 2 : 0, q / 2 ? h / 2 : 0, q % 2 ? w - w / 2 : w / 2,
                     q / 2 ? h - h / 2 : h / 2};
    const Rgba c = quadrants[q];
    SDL_FillRect(s.get(), &r, SDL_MapRGBA(s->format, c.r, c.g, c.b, c.a));
  }
  return s;
}

Surface noisySurface(int w, int h, uint32_t seed) {
  Surface s(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ABGR8888));
  if (!s) throw std::runtime_error(SDL_GetError());
  std::minstd_rand noise(seed);
  for (int y = 0; y < h; ++y) {
    auto* row = static_cast<uint8_t*>(s->pixels) + y * s->pitch;
    for (int x = 0; x < w; ++x) {
      const int n = static_cast<int>(noise() % 48);
      row[4 * x + 0] = static_cast<uint8_t>((x * 255 / w + n + seed * 37) % 256);
      row[4 * x + 1] = static_cast<uint8_t>((y * 255 / h + n) % 256);
      row[4 * x + 2] = static_cast<uint8_t>(((x + y) * 127 / (w + h) + 2 * n) % 256);
      row[4 * x + 3] = 255;
    }
  }
  return s;
}

namespace {

std::string bigEndian32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string pngChunk(const std::string& type, const std::string& data) {
  const std::string body = type + data;
  const auto crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size());
  return bigEndian32(static_cast<uint32_t>(data.size())) + body +
         bigEndian32(static_cast<uint32_t>(crc));
}

}  // namespace

std::string pngClaiming(uint32_t w, uint32_t h) {
  // 8-bit RGBA; the image data is one empty compressed stream.
  const std::string ihdr = bigEndian32(w) + bigEndian32(h) + std::string("\x08\x06\0\0\0", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) +
         pngChunk("IDAT", std::string("\x78\x9c\x03\0\0\0\0\x01", 8)) + pngChunk("IEND", "");
}

std::string jpegClaiming(uint16_t w, uint16_t h) {
  std::string jpeg(64 * 1024, '\0');
  SDL_RWops* out = SDL_RWFromMem(jpeg.data(), static_cast<int>(jpeg.size()));
  if (!out || IMG_SaveJPG_RW(solidSurface(16, 16, {90, 90, 90, 255}).get(), out, 0, 95) != 0)
    throw std::runtime_error(SDL_GetError());
  jpeg.resize(static_cast<size_t>(SDL_RWtell(out)));
  SDL_RWclose(out);
  // The baseline frame header: FF C0, length, precision, height, width.
  const size_t sof = jpeg.find("\xFF\xC0");
  if (sof == std::string::npos) throw std::runtime_error("no frame header");
  jpeg[sof + 5] = static_cast<char>(h >> 8);
  jpeg[sof + 6] = static_cast<char>(h & 0xFF);
  jpeg[sof + 7] = static_cast<char>(w >> 8);
  jpeg[sof + 8] = static_cast<char>(w & 0xFF);
  return jpeg;
}

void savePng(const Surface& surface, const std::string& path) {
  if (IMG_SavePNG(surface.get(), path.c_str()) != 0) throw std::runtime_error(SDL_GetError());
}

void saveJpeg(const Surface& surface, const std::string& path, int quality) {
  if (IMG_SaveJPG(surface.get(), path.c_str(), quality) != 0)
    throw std::runtime_error(SDL_GetError());
}

void saveJpegAs(const Surface& surface, const std::string& path, JpegKind kind,
                const std::string& app1, const std::string& iccProfile) {
  Surface rgba(SDL_ConvertSurfaceFormat(surface.get(), SDL_PIXELFORMAT_ABGR8888, 0));
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!rgba || !file) throw std::runtime_error("cannot write " + path);
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = rgba->w;
  cinfo.image_height = rgba->h;
  const bool cmyk =
      kind == JpegKind::kCmyk || kind == JpegKind::kCmykPlain || kind == JpegKind::kYcck;
  const bool inverted = kind != JpegKind::kCmykPlain;
  const bool gray = kind == JpegKind::kGrayscale;
  cinfo.input_components = cmyk ? 4 : gray ? 1 : 3;
  cinfo.in_color_space = cmyk ? JCS_CMYK : gray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (kind == JpegKind::kProgressive) jpeg_simple_progression(&cinfo);
  if (kind == JpegKind::kYcck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
  if (kind == JpegKind::kCmykPlain) cinfo.write_Adobe_marker = FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  if (!app1.empty())
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(app1.data()),
                      static_cast<unsigned>(app1.size()));
  if (!iccProfile.empty())
    jpeg_write_icc_profile(&cinfo, reinterpret_cast<const JOCTET*>(iccProfile.data()),
                           static_cast<unsigned>(iccProfile.size()));
  std::vector<JSAMPLE> row(static_cast<size_t>(rgba->w) * cinfo.input_components);
  while (cinfo.next_scanline < cinfo.image_height) {
    const auto* src = static_cast<const uint8_t*>(rgba->pixels) + cinfo.next_scanline * rgba->pitch;
    for (int x = 0; x < rgba->w; ++x) {
      const uint8_t* p = src + 4 * x;
      JSAMPLE* out = &row[static_cast<size_t>(x) * cinfo.input_components];
      if (gray) {
        out[0] = static_cast<JSAMPLE>((p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000);
      } else if (cmyk) {
        // The uncalibrated conversion; Adobe's marker means inverted samples.
        const int k = std::min({255 - p[0], 255 - p[1], 255 - p[2]});
        for (int c = 0; c < 4; ++c) {
          const int ink = c == 3 ? k : k == 255 ? 0 : (255 - p[c] - k) * 255 / (255 - k);
          out[c] = static_cast<JSAMPLE>(inverted ? 255 - ink : ink);
        }
      } else {
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
      }
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(file);
}

std::string exifWithOrientation(int orientation, bool bigEndian) {
  auto u16 = [bigEndian](int v) {
    const char hi = static_cast<char>((v >> 8) & 0xFF);
    const char lo = static_cast<char>(v & 0xFF);
    return bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  };
  auto u32 = [&u16, bigEndian](int v) {
    return bigEndian ? u16(v >> 16) + u16(v & 0xFFFF) : u16(v & 0xFFFF) + u16(v >> 16);
  };
  std::string exif("Exif\0\0", 6);
  exif += bigEndian ? "MM" : "II";
  exif += u16(42) + u32(8);               // TIFF header, IFD0 at 8
  exif += u16(1);                         // one entry
  exif += u16(0x0112) + u16(3) + u32(1);  // Orientation, SHORT, 1 value
  exif += u16(orientation) + u16(0);      // the value, padded to 4 bytes
  exif += u32(0);                         // no next IFD
  return exif;
}

Surface loadRgba(const std::string& path) {
  Surface loaded(IMG_Load(path.c_str()));
  if (!loaded) return nullptr;
  return Surface(SDL_ConvertSurfaceFormat(loaded.get(), SDL_PIXELFORMAT_ABGR8888, 0));
}

Rgba pixelAt(const Surface& s, int x, int y) {
  const auto* p = static_cast<const uint8_t*>(s->pixels) + y * s->pitch + 4 * x;
  return {p[0], p[1], p[2], p[3]};
}

namespace {

std::string savedProfile(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::string bytes(size, '\0');
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

}  // namespace

std::string adobeRgbProfile() {
  const cmsCIExyY white{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(gamma);
  return savedProfile(profile);
}

std::string srgbProfile() { return savedProfile(cmsCreate_sRGBProfile()); }

std::string displayP3Profile() {
  const cmsCIExyY white{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  const double srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return savedProfile(profile);
}

std::string cmykProfileSwappingRedAndBlue() {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM toLab =
      cmsCreateTransform(srgb, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_PERCEPTUAL, 0);
  auto sample = [](const cmsUInt16Number in[], cmsUInt16Number out[], void* transform) -> int {
    // in: ink, 0 to 65535; the formula, then red and blue swapped
    cmsUInt16Number rgb[3];
    for (int c = 0; c < 3; ++c)
      rgb[2 - c] = static_cast<cmsUInt16Number>((65535.0 - in[c]) * (65535.0 - in[3]) / 65535.0);
    cmsDoTransform(transform, rgb, out, 1);
    return 1;
  };
  cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 17, 4, 3, nullptr);
  cmsStageSampleCLut16bit(clut, sample, toLab, 0);
  cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
  cmsPipelineInsertStage(lut, cmsAT_BEGIN, clut);
  cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(profile, 2.1);
  cmsSetDeviceClass(profile, cmsSigOutputClass);
  cmsSetColorSpace(profile, cmsSigCmykData);
  cmsSetPCS(profile, cmsSigLabData);
  cmsWriteTag(profile, cmsSigAToB0Tag, lut);
  cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  cmsPipelineFree(lut);
  cmsDeleteTransform(toLab);
  cmsCloseProfile(lab);
  cmsCloseProfile(srgb);
  return savedProfile(profile);
}

Surface inProfile(const Surface& srgb, const std::string& profile) {
  Surface out(SDL_ConvertSurfaceFormat(srgb.get(), SDL_PIXELFORMAT_ABGR8888, 0));
  cmsHPROFILE from = cmsCreate_sRGBProfile();
  cmsHPROFILE to =
      cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  cmsHTRANSFORM transform = cmsCreateTransform(from, TYPE_RGBA_8, to, TYPE_RGBA_8,
                                               INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA);
  for (int y = 0; y < out->h; ++y) {
    auto* row = static_cast<uint8_t*>(out->pixels) + y * out->pitch;
    cmsDoTransform(transform, row, row, static_cast<cmsUInt32Number>(out->w));
  }
  cmsDeleteTransform(transform);
  cmsCloseProfile(from);
  cmsCloseProfile(to);
  return out;
}

std::string withIccpChunk(const std::string& png, const std::string& profile) {
  uLongf size = compressBound(profile.size());
  std::string compressed(size, '\0');
  compress(reinterpret_cast<Bytef*>(compressed.data()), &size,
           reinterpret_cast<const Bytef*>(profile.data()), profile.size());
  compressed.resize(size);
  // After the signature (8 bytes) and IHDR (25): the profile's name, a NUL
  // and the compression method (0, zlib).
  return png.substr(0, 33) + pngChunk("iCCP", std::string("test\0\0", 6) + compressed) +
         png.substr(33);
}

#ifdef POSTERGEN_HAVE_HEIF
void saveHeif(const Surface& surface, const std::string& path, bool avif, int orientation,
              int exifOrientation, const std::string& iccProfile, int nclxPrimaries, int bitDepth) {
  Surface rgb(SDL_ConvertSurfaceFormat(surface.get(), SDL_PIXELFORMAT_RGB24, 0));
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  heif_image* image = nullptr;
  auto check = [](heif_error e) {
    if (e.code != heif_error_Ok) throw std::runtime_error(e.message);
  };
  check(heif_context_get_encoder_for_format(
      context, avif ? heif_compression_AV1 : heif_compression_HEVC, &encoder));
  check(heif_encoder_set_lossy_quality(encoder, 90));
  const bool deep = bitDepth > 8;
  check(heif_image_create(rgb->w, rgb->h, heif_colorspace_RGB,
                          deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB,
                          &image));
  check(heif_image_add_plane(image, heif_channel_interleaved, rgb->w, rgb->h, bitDepth));
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < rgb->h; ++y) {
    const uint8_t* in = static_cast<uint8_t*>(rgb->pixels) + y * rgb->pitch;
    if (!deep) {
      std::memcpy(plane + y * stride, in, static_cast<size_t>(rgb->w) * 3);
      continue;
    }
    // Samples of bitDepth bits, little-endian in two bytes each.
    const int top = (1 << bitDepth) - 1;
    for (int i = 0; i < rgb->w * 3; ++i) {
      const int v = (in[i] * top + 127) / 255;
      plane[y * stride + 2 * i] = static_cast<uint8_t>(v & 0xFF);
      plane[y * stride + 2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
  if (!iccProfile.empty())
    check(heif_image_set_raw_color_profile(image, "prof", iccProfile.data(), iccProfile.size()));
  heif_encoding_options* options = heif_encoding_options_alloc();
  options->image_orientation = static_cast<heif_orientation>(orientation);
  heif_color_profile_nclx* nclx = nullptr;
  if (nclxPrimaries) {
    nclx = heif_nclx_color_profile_alloc();
    check(heif_nclx_color_profile_set_color_primaries(nclx, nclxPrimaries));
    check(heif_nclx_color_profile_set_transfer_characteristics(nclx, 13));
    check(heif_nclx_color_profile_set_matrix_coefficients(nclx, 6));
    nclx->full_range_flag = 1;
    options->output_nclx_profile = nclx;
    options->macOS_compatibility_workaround_no_nclx_profile = 0;  // else no colr box is written
    check(heif_image_set_nclx_color_profile(image, nclx));
  }
  heif_image_handle* handle = nullptr;
  check(heif_context_encode_image(context, image, encoder, options, &handle));
  if (exifOrientation) {
    const std::string exif = exifWithOrientation(exifOrientation);
    check(heif_context_add_exif_metadata(context, handle, exif.data(),
                                         static_cast<int>(exif.size())));
  }
  check(heif_context_write_to_file(context, path.c_str()));
  heif_image_handle_release(handle);
  heif_encoding_options_free(options);
  if (nclx) heif_nclx_color_profile_free(nclx);
  heif_image_release(image);
  heif_encoder_release(encoder);
  heif_context_free(context);
}
#endif

#ifdef POSTERGEN_SANITIZED
// x265, which makes the tests' HEIC files, keeps a few blocks of its own to
// the end of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }
#endif
