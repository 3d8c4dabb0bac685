// The PNG writer's files decode with libpng, and with the reader of
// postergen's own files, to the very pixels written, whatever the size,
// content and filter choice, and the per-row choice uses PNG's filters where
// they pay. The reader refuses damaged files, leaves other kinds alone, and
// holds no more memory than its bound whatever a file claims.
#include "png/png_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "png/png_format.h"
#include "png/png_reader.h"

namespace {

enum class Content { kNoise, kGradient, kFlatTransparent, kMixed, kWaves };

// RGBA rows with a gap after each, as a pitch larger than the row allows.
std::vector<uint8_t> image(int w, int h, size_t pitch, Content content) {
  std::vector<uint8_t> pixels(pitch * h, 0xEE);
  std::mt19937 rng(w * 31 + h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &pixels[y * pitch + x * 4];
      const bool noisy = content == Content::kNoise || (content == Content::kMixed && y % 3 == 0);
      for (int c = 0; c < 4; ++c) {
        if (noisy)
          p[c] = static_cast<uint8_t>(rng());
        else if (content == Content::kFlatTransparent)
          p[c] = c == 3 ? 0 : 40;
        else if (content == Content::kWaves)
          p[c] = static_cast<uint8_t>(127 + 100 * std::sin(x / 37.0 + c) * std::cos(y / 23.0));
        else
          p[c] = static_cast<uint8_t>(x * (c + 1) + y * 3);
      }
    }
  return pixels;
}

std::string encode(const std::vector<uint8_t>& pixels, int w, int h, size_t pitch,
                   PngFilters filters, PngDeflater deflater = PngDeflater::kChosen) {
  ByteBuffer rows = filterPngRows(pixels.data(), w, h, pitch, filters);
  DeflatedPng png;
  EXPECT_TRUE(rows && deflatePngRows(rows.get(), w, h, png, kPngDeflateLevel, deflater));
  std::string file;
  EXPECT_TRUE(writePngChunks(png, [&file](const void* data, size_t size) {
    file.append(static_cast<const char*>(data), size);
    return true;
  }));
  return file;
}

// The type byte of each row, from the file's IDAT data, in order.
std::vector<int> rowTypes(const std::string& file, int w, int h) {
  std::string zlib;
  for (size_t at = 8; at + 12 <= file.size();) {
    const auto* b = reinterpret_cast<const uint8_t*>(file.data() + at);
    const size_t size = (size_t(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
    if (file.compare(at + 4, 4, "IDAT") == 0) zlib += file.substr(at + 8, size);
    at += size + 12;
  }
  std::vector<uint8_t> rows((size_t(w) * 4 + 1) * h);
  uLongf size = rows.size();
  uncompress(rows.data(), &size, reinterpret_cast<const Bytef*>(zlib.data()), zlib.size());
  std::vector<int> types;
  for (int y = 0; y < h; ++y) types.push_back(rows[y * (size_t(w) * 4 + 1)]);
  return types;
}

std::set<int> filterTypes(const std::string& file, int w, int h) {
  const std::vector<int> types = rowTypes(file, w, h);
  return {types.begin(), types.end()};
}

struct Case {
  int w, h;
  Content content;
  PngFilters filters;
  PngDeflater deflater = PngDeflater::kChosen;
};

class PngEncoderCases : public testing::TestWithParam<Case> {};

TEST_P(PngEncoderCases, DecodeWithLibpngToThePixelsWritten) {
  const Case c = GetParam();
  const size_t pitch = size_t(c.w) * 4 + 8;
  const std::vector<uint8_t> pixels = image(c.w, c.h, pitch, c.content);
  const std::string file = encode(pixels, c.w, c.h, pitch, c.filters, c.deflater);

  png_image decoded{};
  decoded.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&decoded, file.data(), file.size()))
      << decoded.message;
  EXPECT_EQ(decoded.width, unsigned(c.w));
  EXPECT_EQ(decoded.height, unsigned(c.h));
  EXPECT_EQ(decoded.format, unsigned(PNG_FORMAT_RGBA));
  std::vector<uint8_t> back(PNG_IMAGE_SIZE(decoded));
  ASSERT_TRUE(png_image_finish_read(&decoded, nullptr, back.data(), 0, nullptr)) << decoded.message;
  for (int y = 0; y < c.h; ++y)
    ASSERT_EQ(0, std::memcmp(&back[y * size_t(c.w) * 4], &pixels[y * pitch], size_t(c.w) * 4))
        << "row " << y;
}

// The rows readOwnPng gives for file, back to back.
PngRows readBack(const std::string& file, std::vector<uint8_t>& pixels) {
  std::FILE* in = fmemopen(const_cast<char*>(file.data()), file.size(), "rb");
  const PngRows rows = readOwnPng(in, int64_t{1} << 28, [&](const uint8_t* rgba, int width) {
    pixels.insert(pixels.end(), rgba, rgba + size_t(width) * 4);
  });
  std::fclose(in);
  return rows;
}

TEST_P(PngEncoderCases, ReadBackByPostergensOwnReaderToThePixelsWritten) {
  const Case c = GetParam();
  const size_t pitch = size_t(c.w) * 4;
  const std::vector<uint8_t> pixels = image(c.w, c.h, pitch, c.content);
  std::vector<uint8_t> back;
  const PngRows rows = readBack(encode(pixels, c.w, c.h, pitch, c.filters, c.deflater), back);
  ASSERT_EQ(rows.outcome, PngRows::Outcome::kRead) << rows.problem;
  EXPECT_EQ(rows.width, c.w);
  EXPECT_EQ(rows.height, c.h);
  EXPECT_TRUE(back == pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Writer, PngEncoderCases,
    testing::Values(Case{1, 1, Content::kNoise, PngFilters::kAdaptive},
                    Case{3, 2, Content::kGradient, PngFilters::kAdaptive},
                    Case{2160, 40, Content::kMixed, PngFilters::kAdaptive},
                    Case{517, 300, Content::kGradient, PngFilters::kAdaptive},
                    Case{64, 64, Content::kFlatTransparent, PngFilters::kAdaptive},
                    Case{77, 700, Content::kNoise, PngFilters::kAdaptive},
                    Case{300, 1200, Content::kMixed, PngFilters::kNone},
                    Case{300, 1200, Content::kMixed, PngFilters::kSub},
                    Case{300, 1200, Content::kMixed, PngFilters::kUp},
                    Case{2160, 300, Content::kGradient, PngFilters::kAdaptive, PngDeflater::kIsal},
                    Case{1, 1, Content::kNoise, PngFilters::kAdaptive, PngDeflater::kIsal},
                    Case{300, 1200, Content::kMixed, PngFilters::kAdaptive,
                         PngDeflater::kLibdeflate}));

#ifdef POSTERGEN_HAVE_ISAL
// Grain goes to igzip, which deflates it no larger; smooth pictures to
// libdeflate, whose file is then the very one it makes alone.
TEST(PngEncoder, TakesTheFasterDeflaterOnlyWhereItIsNoLarger) {
  const int w = 1024, h = 600;
  const std::vector<uint8_t> noise = image(w, h, w * 4, Content::kNoise);
  const std::string chosen = encode(noise, w, h, w * 4, PngFilters::kAdaptive);
  EXPECT_EQ(chosen, encode(noise, w, h, w * 4, PngFilters::kAdaptive, PngDeflater::kIsal));
  EXPECT_LE(chosen.size(),
            encode(noise, w, h, w * 4, PngFilters::kAdaptive, PngDeflater::kLibdeflate).size());
  const std::vector<uint8_t> smooth = image(w, h, w * 4, Content::kWaves);
  EXPECT_EQ(encode(smooth, w, h, w * 4, PngFilters::kAdaptive),
            encode(smooth, w, h, w * 4, PngFilters::kAdaptive, PngDeflater::kLibdeflate));
}
#endif

// The filter type bytes the usual heuristic gives: per row, the first of
// PNG's five filters whose output has the least sum of bytes read as signed.
std::vector<int> leastSumTypes(const std::vector<uint8_t>& pixels, int w, int h) {
  const size_t n = size_t(w) * 4;
  const std::vector<uint8_t> zeros(n);
  std::vector<int> types;
  for (int y = 0; y < h; ++y) {
    const uint8_t* cur = &pixels[y * n];
    const uint8_t* up = y ? cur - n : zeros.data();
    long best = -1;
    int bestType = 0;
    for (int type = 0; type <= 4; ++type) {
      long sum = 0;
      for (size_t i = 0; i < n; ++i) {
        const int a = i >= 4 ? cur[i - 4] : 0, b = up[i], c = i >= 4 ? up[i - 4] : 0;
        const int predicted[5] = {0, a, b, (a + b) / 2, paethPredictor(a, b, c)};
        sum += std::abs(static_cast<int8_t>(cur[i] - predicted[type]));
      }
      if (best < 0 || sum < best) best = sum, bestType = type;
    }
    types.push_back(bestType);
  }
  return types;
}

TEST(PngEncoder, ChoosesForEachRowTheFilterWithTheLeastSumOfMagnitudes) {
  for (const Content content : {Content::kMixed, Content::kWaves, Content::kNoise})
    for (const int w : {1, 3, 5, 67, 2160}) {
      const int h = 24;
      const std::vector<uint8_t> pixels = image(w, h, size_t(w) * 4, content);
      EXPECT_EQ(rowTypes(encode(pixels, w, h, size_t(w) * 4, PngFilters::kAdaptive), w, h),
                leastSumTypes(pixels, w, h))
          << "width " << w << ", content " << static_cast<int>(content);
    }
}

TEST(PngEncoder, ChoosesAFilterPerRow) {
  const int w = 256, h = 90;
  const std::vector<uint8_t> pixels = image(w, h, w * 4, Content::kMixed);
  const std::string file = encode(pixels, w, h, w * 4, PngFilters::kAdaptive);
  // Noise rows stay unfiltered; gradient rows are predicted.
  EXPECT_GE(filterTypes(file, w, h).size(), 2u);
  EXPECT_THAT(filterTypes(encode(pixels, w, h, w * 4, PngFilters::kUp), w, h),
              testing::ElementsAre(2));
}

TEST(PngReader, RefusesDamagedFilesAndLeavesOtherKindsAlone) {
  const std::vector<uint8_t> pixels = image(40, 30, 160, Content::kGradient);
  const std::string good = encode(pixels, 40, 30, 160, PngFilters::kAdaptive);
  const size_t idat = good.find("IDAT");
  std::string badCrc = good, otherKind = good;
  badCrc[idat + 10] ^= 1;
  otherKind[8 + 8 + 9] = 2;  // RGB
  std::string huge = good;
  for (int i = 16; i < 24; ++i) huge[i] = static_cast<char>(0xE6);
  const struct {
    const char* what;
    std::string file;
    PngRows::Outcome outcome;
  } cases[] = {
      {"a flipped bit", badCrc, PngRows::Outcome::kDamaged},
      {"cut short", good.substr(0, good.size() - 20), PngRows::Outcome::kDamaged},
      {"no IEND", good.substr(0, good.size() - 12), PngRows::Outcome::kDamaged},
      {"RGB", otherKind, PngRows::Outcome::kOtherKind},
      {"no PNG", "GIF89a and more bytes than a header holds, surely", PngRows::Outcome::kOtherKind},
      {"nearly 2^32 a side", huge, PngRows::Outcome::kOtherKind},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> back;
    EXPECT_EQ(readBack(c.file, back).outcome, c.outcome) << c.what;
    EXPECT_TRUE(back.empty()) << c.what;
  }
}

TEST(PngEncoder, StopsAtTheFirstFailedWrite) {
  const std::vector<uint8_t> pixels = image(8, 8, 32, Content::kNoise);
  ByteBuffer rows = filterPngRows(pixels.data(), 8, 8, 32);
  DeflatedPng png;
  ASSERT_TRUE(deflatePngRows(rows.get(), 8, 8, png));
  int calls = 0;
  EXPECT_FALSE(writePngChunks(png, [&calls](const void*, size_t) { return ++calls < 3; }));
  EXPECT_EQ(calls, 3);
}

// A chunk of the given type: length, type, data and checksum.
std::string chunk(const char* type, const std::string& data) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(data.size() >> (24 - 8 * i));
  out += std::string(type, 4) + data;
  const uint32_t crc = pngChunkCrc(reinterpret_cast<const uint8_t*>(type),
                                   reinterpret_cast<const uint8_t*>(data.data()), data.size());
  for (int i = 0; i < 4; ++i) out += static_cast<char>(crc >> (24 - 8 * i));
  return out;
}

// A poster's thumbnail must not take a thread's memory because a file
// that passes for a poster carries a chunk of half a gigabyte.
TEST(PngReader, HoldsNoMoreThanItsBoundWhateverAChunkCarries) {
  const std::vector<uint8_t> pixels = image(64, 64, 256, Content::kGradient);
  const std::string good = encode(pixels, 64, 64, 256, PngFilters::kAdaptive);
  const size_t idat = good.find("IDAT") - 4;
  std::FILE* file = std::tmpfile();
  ASSERT_TRUE(file);
  // A private ancillary chunk of zeros, left as a hole in the file.
  const uint32_t size = 512u << 20;
  const char head[8] = {
      char(size >> 24), char(size >> 16), char(size >> 8), char(size), 'x', 'b', 'I', 'G'};
  uint32_t crc = libdeflate_crc32(0, head + 4, 4);
  const std::vector<uint8_t> zeros(1 << 20, 0);
  for (uint32_t done = 0; done < size; done += zeros.size())
    crc = libdeflate_crc32(crc, zeros.data(), zeros.size());
  const char tail[4] = {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
  std::fwrite(good.data(), 1, idat, file);
  std::fwrite(head, 1, sizeof head, file);
  std::fseek(file, size, SEEK_CUR);
  std::fwrite(tail, 1, sizeof tail, file);
  std::fwrite(good.data() + idat, 1, good.size() - idat, file);
  std::rewind(file);
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  std::vector<uint8_t> back;
  const PngRows rows = readPngRows(file, 65535, int64_t{1} << 28, [&](const uint8_t* rgba, int w) {
    back.insert(back.end(), rgba, rgba + size_t(w) * 4);
  });
  getrusage(RUSAGE_SELF, &after);
  std::fclose(file);
  ASSERT_EQ(rows.outcome, PngRows::Outcome::kRead) << rows.problem;
  EXPECT_TRUE(back == pixels);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 << 10) << "KiB more at the peak";
}

// Image data longer than its pixels could need (here padded with empty
// stored blocks, as no sensible encoder writes) goes to libpng, which
// reads it a piece at a time, rather than being held.
TEST(PngReader, LeavesImageDataLongerThanTheImageToLibpng) {
  const std::vector<uint8_t> pixels = image(4, 4, 16, Content::kNoise);
  const std::string good = encode(pixels, 4, 4, 16, PngFilters::kNone);
  std::string filtered;
  for (int y = 0; y < 4; ++y)
    filtered += '\0' + std::string(reinterpret_cast<const char*>(&pixels[y * 16]), 16);
  std::string padded = "\x78\x01";
  for (int i = 0; i < 40; ++i) padded += std::string("\0\0\0\xFF\xFF", 5);
  padded += std::string("\x01\x44\x00\xBB\xFF", 5) + filtered;  // the last block, stored
  const uLong adler = adler32(1, reinterpret_cast<const Bytef*>(filtered.data()), filtered.size());
  for (int i = 0; i < 4; ++i) padded += static_cast<char>(adler >> (24 - 8 * i));
  const std::string file = good.substr(0, 33) + chunk("IDAT", padded) + chunk("IEND", "");
  std::FILE* in = fmemopen(const_cast<char*>(file.data()), file.size(), "rb");
  std::vector<uint8_t> back;
  EXPECT_EQ(readOwnPng(in, 1 << 20, [](const uint8_t*, int) {}).outcome,
            PngRows::Outcome::kOtherKind);
  std::rewind(in);
  const PngRows rows = readPngRows(in, 65535, 1 << 20, [&](const uint8_t* rgba, int w) {
    back.insert(back.end(), rgba, rgba + size_t(w) * 4);
  });
  std::fclose(in);
  ASSERT_EQ(rows.outcome, PngRows::Outcome::kRead) << rows.problem;
  EXPECT_TRUE(back == pixels);
}

}  // namespace
