// The contact sheet's pieces: its escaping, its thumbnails, and the page
// itself as headless Chromium renders it.
#include "contact_sheet/contact_sheet.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "contract/run_contract.h"
#include "support/batch_run.h"
#include "support/browser.h"
#include "support/scratch_run.h"
#include "thumbnail/thumbnail.h"

namespace {

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

Thumbnail thumbnailOf(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return Thumbnail{"", 0, 0, "cannot open " + path};
  Thumbnail thumbnail = makeThumbnail(file);
  std::fclose(file);
  return thumbnail;
}

TEST(ContactSheet, EscapesMarkupAndReplacesWhatIsNotText) {
  const std::string replacement = "\xEF\xBF\xBD";
  const struct {
    std::string text, html;
  } cases[] = {
      {"a<b>&\"'", "a&lt;b&gt;&amp;&quot;&#39;"},
      {"\xE5\x9F\x8E\xE5\xB8\x82 caf\xC3\xA9", "\xE5\x9F\x8E\xE5\xB8\x82 caf\xC3\xA9"},
      {"\xFFok", replacement + "ok"},
      {"ok\xC3", "ok" + replacement},
      {"\xC0\xAF", replacement + replacement},  // an overlong '/'
      {std::string("\x01\n\t\x7F\0", 5), replacement + "\n\t" + replacement + replacement},
  };
  for (const auto& c : cases) EXPECT_EQ(escapeHtml(c.text), c.html) << c.text;
}

TEST(ContactSheet, ThumbnailIsTheMeanOfEachBlockOverWhite) {
  ScratchDir dir;
  const Rgba quadrants[4] = {{200, 30, 30, 255}, {0, 0, 0, 255}, {0, 0, 0, 0}, {0, 255, 0, 128}};
  // Not a multiple of eight: the last column and row of blocks are partial.
  savePng(quadrantSurface(164, 100, quadrants), dir.at("poster.png"));
  const Thumbnail thumbnail = thumbnailOf(dir.at("poster.png"));
  ASSERT_TRUE(thumbnail.problem.empty()) << thumbnail.problem;
  EXPECT_EQ(thumbnail.width, 21);
  EXPECT_EQ(thumbnail.height, 13);
  dir.write("thumbnail.jpg", thumbnail.jpeg);
  const Surface shown = loadRgba(dir.at("thumbnail.jpg"));
  ASSERT_TRUE(shown);
  const Rgba expected[4] = {
      {200, 30, 30, 255}, {0, 0, 0, 255}, {255, 255, 255, 255}, {127, 255, 127, 255}};
  const int at[4][2] = {{4, 3}, {16, 3}, {4, 10}, {16, 10}};
  for (int q = 0; q < 4; ++q) {
    const Rgba got = pixelAt(shown, at[q][0], at[q][1]);
    EXPECT_TRUE(near(got, expected[q], 8)) << q << ": " << describe(got);
  }
}

TEST(ContactSheet, PngOfAnotherKindIsShrunkByLibpng) {
  ScratchDir dir;
  png_image gray{};
  gray.version = PNG_IMAGE_VERSION;
  gray.width = 20;
  gray.height = 9;
  gray.format = PNG_FORMAT_GRAY;
  const std::vector<uint8_t> pixels(20 * 9, 100);
  ASSERT_TRUE(
      png_image_write_to_file(&gray, dir.at("gray.png").c_str(), 0, pixels.data(), 0, nullptr));
  const Thumbnail thumbnail = thumbnailOf(dir.at("gray.png"));
  ASSERT_TRUE(thumbnail.problem.empty()) << thumbnail.problem;
  EXPECT_EQ(thumbnail.width, 3);
  EXPECT_EQ(thumbnail.height, 2);
  dir.write("thumbnail.jpg", thumbnail.jpeg);
  const Rgba got = pixelAt(loadRgba(dir.at("thumbnail.jpg")), 2, 1);
  EXPECT_TRUE(near(got, {100, 100, 100, 255}, 3)) << describe(got);
}

TEST(ContactSheet, DamagedPosterGetsNoThumbnailButAReason) {
  ScratchDir dir;
  savePng(solidSurface(64, 64, {1, 2, 3, 255}), dir.at("poster.png"));
  std::string bytes = dir.read("poster.png");
  dir.write("poster.png", bytes.substr(0, bytes.size() / 2));
  const Thumbnail thumbnail = thumbnailOf(dir.at("poster.png"));
  EXPECT_TRUE(thumbnail.jpeg.empty());
  EXPECT_EQ(thumbnail.problem.rfind("the poster cannot be read: ", 0), 0u) << thumbnail.problem;
}

// Ten thousand cards, every kind of them, as Chromium builds the page.
TEST(ContactSheet, TenThousandCardsOpenInChromiumWithCaptionsAsText) {
  ScratchDir dir;
  SheetPage page;
  page.directory = "/posters/<i>";
  page.madeAt = "2026-12-09T18:05:00Z";
  page.nonce = "0123abcd";
  const int items = 10000;
  page.items = items;
  for (int i = 1; i <= items; ++i) {
    SheetItem card;
    card.item = i;
    card.caption = "Caption " + std::to_string(i);
    if (i % 100 == 7) {
      card.status = SheetItem::Status::kFailed;
      card.failure = "city_photo" + std::to_string(i) + ".jpeg is missing";
      ++page.failed;
    } else {
      card.thumbnail = "contact-sheet/thumbnail.jpg";
      card.thumbnailWidth = 270;
      card.thumbnailHeight = 480;
      ++page.made;
    }
    if (i % 100 == 9) {
      card.status = SheetItem::Status::kWarned;
      card.warnings = {"d" + std::to_string(i) + ".txt has characters the font lacks"};
      ++page.warned;
    }
    page.cards.push_back(card);
  }
  page.cards[41].caption = "<img src=x onerror=alert(1)><script>alert(2)</script>";
  dir.write(kContactSheetName, contactSheetHtml(page));
  dir.makeDirectory("contact-sheet");
  saveJpeg(solidSurface(270, 480, {90, 120, 150, 255}), dir.at("contact-sheet/thumbnail.jpg"));

  const std::string dom = renderedDom(dir.at(kContactSheetName));
  ASSERT_FALSE(dom.empty()) << "chromium could not open the page";
  EXPECT_EQ(count(dom, "<article class=\"card\""), size_t{items});
  EXPECT_EQ(count(dom, "data-status=\"failed\">"), 100u);
  EXPECT_EQ(count(dom, "data-status=\"warned\">"), 100u);
  EXPECT_EQ(count(dom, "loading=\"lazy\""), size_t{items - 100});
  EXPECT_NE(dom.find("id=\"item-10000\""), std::string::npos);
  EXPECT_NE(dom.find("city_photo107.jpeg is missing"), std::string::npos);
  EXPECT_NE(dom.find("d109.txt has characters the font lacks"), std::string::npos);
  // The caption stays text: no element of it, one script (the page's own).
  EXPECT_NE(dom.find("&lt;img src=x onerror=alert(1)&gt;&lt;script&gt;"), std::string::npos);
  EXPECT_EQ(count(dom, "<script"), 1u);
  EXPECT_EQ(count(dom, "<img"), size_t{items - 100});
  EXPECT_NE(dom.find("default-src 'none'"), std::string::npos);
  // The page's own script ran: all shown, its button pressed.
  EXPECT_NE(dom.find("<body data-show=\"all\">"), std::string::npos);
}

// The address keeps the choice of the buttons.
TEST(ContactSheet, AddressChoosesWhichCardsShow) {
  ScratchDir dir;
  SheetPage page;
  page.nonce = "n0";
  page.madeAt = "2026-12-09T18:05:00Z";
  page.cards.resize(2);
  page.cards[0].item = 1;
  page.cards[1].item = 2;
  page.cards[1].status = SheetItem::Status::kFailed;
  dir.write(kContactSheetName, contactSheetHtml(page));
  for (const std::string show : {"failed", "warned", "all"}) {
    const std::string dom = renderedDom(dir.at(kContactSheetName), show);
    EXPECT_NE(dom.find("<body data-show=\"" + show + "\">"), std::string::npos) << show;
    EXPECT_NE(dom.find("value=\"" + show + "\" aria-pressed=\"true\""), std::string::npos) << show;
    EXPECT_EQ(count(dom, "aria-pressed=\"true\">"), 1u) << show;
  }
}

// The batch takes the thumbnails postergen writes rather than making its
// own: here a wrapper marks the one of the run's first poster before the
// batch reads the run's log.
TEST(ContactSheet, TakesTheThumbnailsPostergenWrites) {
  ScratchDir dir;
  dir.populate(2);
  dir.write("wrap.sh", "#!/bin/sh\n'" + postergenBinary() +
                           "' 2> log.txt\nstatus=$?\nprintf marked > " + kThumbnailRequestName +
                           "/" + itemFileName(kThumbnailFile, 1) +
                           "\ncat log.txt >&2\nexit $status\n");
  std::filesystem::permissions(dir.at("wrap.sh"), std::filesystem::perms::owner_all);
  const ProcessResult batch = runBatch({"-j", "1", "--postergen", dir.at("wrap.sh"), dir.path()});
  ASSERT_EQ(batch.status, 0) << batch.err;
  int marked = 0, made = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.at(kThumbnailFolderName))) {
    if (entry.path().extension() != ".jpg") continue;
    const std::string bytes =
        dir.read(std::string(kThumbnailFolderName) + "/" + entry.path().filename().string());
    (bytes == "marked" ? marked : made) += 1;
  }
  EXPECT_EQ(marked, 1);
  EXPECT_EQ(made, 1);
}

}  // namespace
