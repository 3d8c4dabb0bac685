// The contact sheet: one HTML page that shows a whole batch, a card per
// item with its thumbnail, caption, warnings or failure, and a summary on
// top. The page stands alone: its style and script are inline, it loads
// nothing but the thumbnails beside it (its Content-Security-Policy forbids
// the rest), and every text in it (captions, file names, messages) is
// escaped. Pure.
#ifndef POSTERGEN_CONTACT_SHEET_CONTACT_SHEET_H_
#define POSTERGEN_CONTACT_SHEET_CONTACT_SHEET_H_

#include <string>
#include <vector>

constexpr const char* kContactSheetName = "contact-sheet.html";
// Beside the page: the thumbnails it shows.
constexpr const char* kThumbnailFolderName = "contact-sheet";

struct SheetItem {
  enum class Status { kMade, kWarned, kFailed };
  int item = 0;
  Status status = Status::kMade;
  std::string caption;  // as read from d<i>.txt, any bytes
  std::vector<std::string> warnings;
  std::string failure;           // a failed item's reason
  std::string thumbnail;         // relative to the page; empty when there is none
  std::string thumbnailProblem;  // why a made item has none
  int thumbnailWidth = 0;
  int thumbnailHeight = 0;
};

struct SheetPage {
  std::string directory;  // the batch's directory
  std::string madeAt;     // UTC, "2026-12-09T18:05:00Z"
  int items = 0;          // in the batch
  int made = 0;           // posters there, this time or earlier
  int failed = 0;
  int warned = 0;  // items with a warning of their own
  double seconds = 0;
  std::vector<std::string> notes;  // under the counts: a stop, warnings of every item
  std::string error;               // why the batch could not run at all, or empty
  std::vector<SheetItem> cards;    // in item order
  std::string nonce;               // allows the page's own style and script alone
};

std::string contactSheetHtml(const SheetPage& page);

// text as HTML text or attribute value: markup characters as entities, and
// each byte that is no part of well-formed UTF-8, and each control
// character but tab and line feed, as U+FFFD.
std::string escapeHtml(const std::string& text);

#endif  // POSTERGEN_CONTACT_SHEET_CONTACT_SHEET_H_
