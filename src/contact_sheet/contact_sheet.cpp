#include "contact_sheet/contact_sheet.h"

#include "batch/engine/report.h"
#include "captions/utf8_check.h"
#include "contract/run_contract.h"

namespace {

// The longest caption shown whole; longer ones end in an ellipsis.
constexpr size_t kCaptionShown = 1200;

const char kStyle[] = R"css(
:root { color-scheme: light dark; --card: #fff; --line: #d0d0d0; --dim: #666;
  --bad: #b3261e; --warn: #8a5a00; }
@media (prefers-color-scheme: dark) { :root { --card: #1e1e1e; --line: #444; --dim: #aaa;
  --bad: #ff8a80; --warn: #ffcc66; } }
body { font: 15px/1.4 system-ui, sans-serif; margin: 0; padding: 1rem; }
header { max-width: 70rem; }
h1 { font-size: 1.4rem; margin: 0 0 .5rem; }
.counts b { font-size: 1.15rem; }
.meta, .meta code { color: var(--dim); }
.meta code { word-break: break-all; }
.error, .reason { color: var(--bad); }
.warnings, .note { color: var(--warn); }
nav { display: flex; flex-wrap: wrap; gap: .5rem; margin: .8rem 0; }
button { font: inherit; padding: .35rem .9rem; border: 1px solid var(--line);
  border-radius: 1rem; background: var(--card); color: inherit; cursor: pointer; }
button[aria-pressed="true"] { border-color: currentColor; font-weight: 600; }
main { display: grid; gap: 1rem; grid-template-columns: repeat(auto-fill, minmax(9rem, 1fr)); }
.card { background: var(--card); border: 1px solid var(--line); border-radius: .5rem;
  padding: .5rem; overflow-wrap: anywhere; }
.card[data-status="failed"] { border-color: var(--bad); }
.card[data-status="warned"] { border-color: var(--warn); }
.card img, .card .none { display: block; width: 100%; height: auto; aspect-ratio: 9 / 16;
  background: var(--line); }
.card .none { display: flex; align-items: center; justify-content: center; text-align: center;
  color: var(--dim); font-size: .85rem; padding: .5rem; box-sizing: border-box; }
.card h2 { font-size: 1rem; margin: .4rem 0 .2rem; }
.caption { white-space: pre-wrap; margin: .2rem 0; }
.card ul { margin: .2rem 0; padding-left: 1.1rem; font-size: .9rem; }
.reason { font-size: .9rem; margin: .2rem 0; }
body[data-show="failed"] .card:not([data-status="failed"]),
body[data-show="warned"] .card:not([data-status="warned"]) { display: none; }
)css";

// The buttons show all cards or those of one status; the address keeps the
// choice (#failed, #warned), so that a reload or a link keeps it too.
const char kScript[] = R"js(
(function () {
  var shows = ["all", "failed", "warned"];
  function show(what) {
    if (shows.indexOf(what) < 0) what = "all";
    document.body.setAttribute("data-show", what);
    var buttons = document.querySelectorAll("nav button");
    for (var i = 0; i < buttons.length; i++)
      buttons[i].setAttribute("aria-pressed", String(buttons[i].value === what));
  }
  document.querySelector("nav").addEventListener("click", function (event) {
    var button = event.target.closest("button");
    if (!button) return;
    history.replaceState(null, "", button.value === "all" ? location.pathname : "#" + button.value);
    show(button.value);
  });
  window.addEventListener("hashchange", function () { show(location.hash.slice(1)); });
  show(location.hash.slice(1));
  var made = document.querySelector("time");
  var when = new Date(made.getAttribute("datetime"));
  if (!isNaN(when)) made.textContent = when.toLocaleString();
})();
)js";

void appendCodePoint(std::string& out, unsigned c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void appendEscaped(std::string& out, const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const size_t bad = firstNonUtf8Byte(text.substr(at));
    const size_t end = bad == std::string::npos ? text.size() : at + bad;
    for (; at < end; ++at) {
      const char c = text[at];
      switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default:
          if ((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7F)
            appendCodePoint(out, 0xFFFD);
          else
            out += c;
      }
    }
    if (at < text.size()) {
      appendCodePoint(out, 0xFFFD);
      ++at;
    }
  }
}

// At most kCaptionShown bytes, cut before a character that does not fit.
std::string shortened(const std::string& caption) {
  if (caption.size() <= kCaptionShown) return caption;
  size_t end = kCaptionShown;
  while (end > 0 && (static_cast<unsigned char>(caption[end]) & 0xC0) == 0x80) --end;
  return caption.substr(0, end) + "\xE2\x80\xA6";
}

const char* statusName(SheetItem::Status status) {
  switch (status) {
    case SheetItem::Status::kWarned: return "warned";
    case SheetItem::Status::kFailed: return "failed";
    default: return "made";
  }
}

void appendCard(std::string& out, const SheetItem& card) {
  const std::string number = std::to_string(card.item);
  out += "<article class=\"card\" id=\"item-" + number + "\" data-status=\"" +
         statusName(card.status) + "\">\n";
  if (card.status == SheetItem::Status::kFailed) {
    out += "<div class=\"none\">no poster</div>\n";
  } else if (card.thumbnail.empty()) {
    out += "<a href=\"" + itemFileName(kPosterFile, card.item) + "\"><div class=\"none\">";
    appendEscaped(out, card.thumbnailProblem.empty() ? "no thumbnail" : card.thumbnailProblem);
    out += "</div></a>\n";
  } else {
    out += "<a href=\"" + itemFileName(kPosterFile, card.item) + "\"><img src=\"";
    appendEscaped(out, card.thumbnail);
    out += "\" width=\"" + std::to_string(card.thumbnailWidth) + "\" height=\"" +
           std::to_string(card.thumbnailHeight) + "\" loading=\"lazy\" decoding=\"async\" alt=\"" +
           "Poster " + number + "\"></a>\n";
  }
  out += "<h2>Item " + number + "</h2>\n<p class=\"caption\">";
  appendEscaped(out, shortened(card.caption));
  out += "</p>\n";
  if (card.status == SheetItem::Status::kFailed) {
    out += "<p class=\"reason\">";
    appendEscaped(out, card.failure);
    out += "</p>\n";
  }
  if (!card.warnings.empty()) {
    out += "<ul class=\"warnings\">\n";
    for (const std::string& warning : card.warnings) {
      out += "<li>";
      appendEscaped(out, warning);
      out += "</li>\n";
    }
    out += "</ul>\n";
  }
  out += "</article>\n";
}

void appendSummary(std::string& out, const SheetPage& page) {
  const auto count = [](int n) { return "<b>" + std::to_string(n) + "</b>"; };
  out += "<header id=\"summary\" data-items=\"" + std::to_string(page.items) + "\" data-made=\"" +
         std::to_string(page.made) + "\" data-failed=\"" + std::to_string(page.failed) +
         "\" data-warned=\"" + std::to_string(page.warned) + "\">\n<h1>Contact sheet</h1>\n";
  out += "<p class=\"counts\">" + count(page.items) + " items · " + count(page.made) + " made · " +
         count(page.failed) + " failed · " + count(page.warned) + " with warnings · in " +
         formatDuration(page.seconds) + "</p>\n";
  out += "<p class=\"meta\">Made <time datetime=\"";
  appendEscaped(out, page.madeAt);
  out += "\">";
  appendEscaped(out, page.madeAt);
  out += "</time> by postergen-batch from <code>";
  appendEscaped(out, page.directory);
  out += "</code></p>\n";
  if (!page.error.empty()) {
    out += "<p class=\"error\">The batch could not run: ";
    appendEscaped(out, page.error);
    out += "</p>\n";
  }
  for (const std::string& note : page.notes) {
    out += "<p class=\"note\">";
    appendEscaped(out, note);
    out += "</p>\n";
  }
  out += "<nav><button type=\"button\" value=\"all\" aria-pressed=\"true\">All (" +
         std::to_string(page.cards.size()) + ")</button>";
  out += "<button type=\"button\" value=\"failed\" aria-pressed=\"false\">Failed (" +
         std::to_string(page.failed) + ")</button>";
  out += "<button type=\"button\" value=\"warned\" aria-pressed=\"false\">With warnings (" +
         std::to_string(page.warned) + ")</button></nav>\n</header>\n";
}

}  // namespace

std::string escapeHtml(const std::string& text) {
  std::string out;
  appendEscaped(out, text);
  return out;
}

std::string contactSheetHtml(const SheetPage& page) {
  const std::string nonce = escapeHtml(page.nonce);
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "img-src 'self' file:; style-src 'nonce-" +
      nonce + "'; script-src 'nonce-" + nonce +
      "'; base-uri 'none'; form-action 'none'\">\n"
      "<meta name=\"referrer\" content=\"no-referrer\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>Contact sheet: ";
  appendEscaped(out, page.directory);
  out += "</title>\n<style nonce=\"" + nonce + "\">" + kStyle + "</style>\n</head>\n<body>\n";
  appendSummary(out, page);
  out.reserve(out.size() + page.cards.size() * 512);
  out += "<main>\n";
  for (const SheetItem& card : page.cards) appendCard(out, card);
  out += "</main>\n<script nonce=\"" + nonce + "\">" + kScript + "</script>\n</body>\n</html>\n";
  return out;
}
