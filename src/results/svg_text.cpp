#include <algorithm>
#include <cassert>
#include <string>
#include <string_view>
#include <vector>

#include "common/count.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {
namespace {

// The fonts a viewer picks for sans-serif differ; these widths (in em) are at
// or above those of the common ones, so that a line measured to fit does.
double character_em(unsigned char lead) {
  if (lead >= 0x80U) {
    return 1.0;  // a character beyond ASCII: as wide as the widest
  }
  const char c = static_cast<char>(lead);
  if (std::string_view("mwMW@%").find(c) != std::string_view::npos) {
    return 1.0;
  }
  if (std::string_view(" ijlIft.,;:'|!()[]").find(c) != std::string_view::npos) {
    return 0.4;
  }
  if (c >= 'A' && c <= 'Z') {
    return 0.8;
  }
  return 0.66;
}

// The length of the UTF-8 character that starts at `at`: its continuation
// bytes follow (the writers escape what is not UTF-8).
std::size_t character_length(std::string_view text, std::size_t at) {
  std::size_t end = at + 1;
  while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U) {
    ++end;
  }
  return end - at;
}

// text in lines no wider than width: broken at blanks, and a word wider than
// a line broken between characters, so that nothing is lost.
std::vector<std::string> wrapped(std::string_view text, double width, const TextStyle& style) {
  std::vector<std::string> lines(1);
  double used = 0.0;
  const double blank = text_width(" ", style);
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t space = std::min(text.find(' ', at), text.size());
    const std::string_view word = text.substr(at, space - at);
    at = space + 1;
    const double word_width = text_width(word, style);
    if (!lines.back().empty() && used + blank + word_width <= width) {
      lines.back() += ' ';
      lines.back() += word;
      used += blank + word_width;
      continue;
    }
    if (!lines.back().empty()) {
      lines.emplace_back();
      used = 0.0;
    }
    for (std::size_t k = 0; k < word.size();) {
      const std::size_t length = character_length(word, k);
      const double w = text_width(word.substr(k, length), style);
      if (used + w > width && !lines.back().empty()) {
        lines.emplace_back();
        used = 0.0;
      }
      lines.back() += word.substr(k, length);
      used += w;
      k += length;
    }
  }
  return lines;
}

}  // namespace

double text_width(std::string_view text, const TextStyle& style) {
  double em = 0.0;
  for (std::size_t at = 0; at < text.size(); at += character_length(text, at)) {
    em += character_em(static_cast<unsigned char>(text[at]));
  }
  return em * style.size * (style.bold ? 1.1 : 1.0);
}

FittedText fit_text(std::string_view text, double width, int max_lines, TextStyle style) {
  assert(max_lines >= 1 && width > 0.0);
  // A smaller size until the lines are few enough: never cut, whatever its length.
  for (;;) {
    std::vector<std::string> lines = wrapped(text, width, style);
    if (common::count_of(lines) <= max_lines || style.size < 1.0) {
      return {std::move(lines), style.size};
    }
    style.size *= 0.9;
  }
}

double draw_text_lines(SvgCanvas& canvas, double x, double top, const FittedText& text,
                       Anchor anchor, std::string_view attributes) {
  const double line_height = text.size * LINE_SPACING;
  double y = top;
  for (const std::string& line : text.lines) {
    y += line_height;
    canvas.text(x, y - 0.3 * text.size, line, text.size, anchor, attributes);
  }
  return y;
}

int picture_pages(int populations) {
  return std::max(1, (populations + POPULATIONS_PER_PAGE - 1) / POPULATIONS_PER_PAGE);
}

std::string picture_page_path(const std::string& path, int page) {
  if (page == 0) {
    return path;
  }
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  const std::string number = "." + std::to_string(page + 1);
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return path + number;
  }
  return path.substr(0, dot) + number + path.substr(dot);
}

PageRange page_range(int populations, int page) {
  const int first = std::min(populations, page * POPULATIONS_PER_PAGE);
  return {first, std::min(populations, first + POPULATIONS_PER_PAGE)};
}

std::string page_line(int populations, int page) {
  const PageRange range = page_range(populations, page);
  return "populations " + std::to_string(range.first + 1) + "-" + std::to_string(range.end) +
         " of " + std::to_string(populations) + " (page " + std::to_string(page + 1) + " of " +
         std::to_string(picture_pages(populations)) + ")";
}

}  // namespace results
