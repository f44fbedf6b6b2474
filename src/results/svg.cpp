#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <system_error>

#include "results/results_internal.h"

namespace results {
namespace {

constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";  // U+FFFD

std::string_view anchor_name(Anchor anchor) {
  switch (anchor) {
    case Anchor::start:
      return "start";
    case Anchor::middle:
      return "middle";
    case Anchor::end:
      return "end";
  }
  return "start";
}

// Bytes of `text` from `at`: past the end they read as 0, which is never a continuation byte.
unsigned byte_at(std::string_view text, std::size_t at) {
  return at < text.size() ? static_cast<unsigned char>(text[at]) : 0U;
}

bool continuations(std::string_view text, std::size_t at, int count) {
  for (int k = 1; k <= count; ++k) {
    if ((byte_at(text, at + static_cast<std::size_t>(k)) & 0xC0U) != 0x80U) {
      return false;
    }
  }
  return true;
}

// Three-byte sequences: no overlong form, no surrogate, not U+FFFE or U+FFFF.
bool valid_three(std::string_view text, std::size_t at) {
  const unsigned lead = byte_at(text, at);
  const unsigned second = byte_at(text, at + 1);
  const bool overlong = lead == 0xE0U && second < 0xA0U;
  const bool surrogate = lead == 0xEDU && second >= 0xA0U;
  const bool non_character = lead == 0xEFU && second == 0xBFU && byte_at(text, at + 2) >= 0xBEU;
  return continuations(text, at, 2) && !overlong && !surrogate && !non_character;
}

// Four-byte sequences: no overlong form, nothing above U+10FFFF.
bool valid_four(std::string_view text, std::size_t at) {
  const unsigned lead = byte_at(text, at);
  const unsigned second = byte_at(text, at + 1);
  const bool out_of_range = (lead == 0xF0U && second < 0x90U) || (lead == 0xF4U && second >= 0x90U);
  return continuations(text, at, 3) && !out_of_range;
}

// The length of the valid UTF-8 sequence at `at` that XML 1.0 allows, or 0.
int valid_sequence_length(std::string_view text, std::size_t at) {
  const unsigned lead = byte_at(text, at);
  if (lead < 0x80U) {
    return (lead >= 0x20U || lead == '\t' || lead == '\n' || lead == '\r') ? 1 : 0;
  }
  if (lead >= 0xC2U && lead <= 0xDFU) {
    return continuations(text, at, 1) ? 2 : 0;
  }
  if (lead >= 0xE0U && lead <= 0xEFU) {
    return valid_three(text, at) ? 3 : 0;
  }
  if (lead >= 0xF0U && lead <= 0xF4U) {
    return valid_four(text, at) ? 4 : 0;
  }
  return 0;
}

}  // namespace

std::string xml_escaped(std::string_view text) {
  std::string escaped;
  std::size_t at = 0;
  while (at < text.size()) {
    const int length = valid_sequence_length(text, at);
    if (length == 0) {
      escaped += REPLACEMENT;
      ++at;
      continue;
    }
    switch (text[at]) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        escaped.append(text.substr(at, static_cast<std::size_t>(length)));
    }
    at += static_cast<std::size_t>(length);
  }
  return escaped;
}

std::string fixed_text(double value, int decimals) {
  std::array<char, 64> buffer{};
  const double shown = std::isfinite(value) ? value : 0.0;
  const std::to_chars_result written = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                     shown, std::chars_format::fixed, decimals);
  std::string text(buffer.data(), written.ptr);
  // A value that rounds to zero is written without a sign.
  if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) {
    text.erase(0, 1);
  }
  return text;
}

std::string label_text(double value, int digits) {
  if (!std::isfinite(value)) {
    return "NA";
  }
  std::array<char, 64> buffer{};
  const std::to_chars_result written = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                     value, std::chars_format::general, digits);
  return {buffer.data(), written.ptr};
}

std::string significant_text(double value, int digits) {
  assert(digits >= 1);
  if (!std::isfinite(value)) {
    return "NA";
  }
  // Fixed notation down to 1e-4, so that 0.0476 and 0.450 read as p-values do.
  const double size = std::fabs(value);
  std::array<char, 64> buffer{};
  char* const end = buffer.data() + buffer.size();
  if (size >= 1e-4 && size < 1e15) {
    // The decimals follow the exponent after rounding (0.09996 is 0.100, not
    // 0.1000), read off the scientific form rather than a logarithm.
    const char* const written =
        std::to_chars(buffer.data(), end, value, std::chars_format::scientific, digits - 1).ptr;
    const char* exponent_at = std::find(static_cast<const char*>(buffer.data()), written, 'e') + 1;
    exponent_at += *exponent_at == '+' ? 1 : 0;
    int exponent = 0;
    std::from_chars(exponent_at, written, exponent);
    return fixed_text(value, std::max(0, digits - 1 - exponent));
  }
  const std::to_chars_result written =
      std::to_chars(buffer.data(), end, value, std::chars_format::general, digits);
  return {buffer.data(), written.ptr};
}

std::vector<double> nice_ticks(double low, double high, int target) {
  if (!(high > low) || target < 1) {
    return {low};
  }
  const double raw = (high - low) / target;
  // The power of ten at or below raw, by exact steps rather than the
  // library's pow and log10, whose last bits vary between systems.
  double power = 1.0;
  while (power * 10.0 <= raw) {
    power *= 10.0;
  }
  while (power > raw) {
    power /= 10.0;
  }
  double step = 10.0 * power;
  for (const double factor : {1.0, 2.0, 5.0}) {
    if (factor * power >= raw) {
      step = factor * power;
      break;
    }
  }
  std::vector<double> ticks;
  // Multiples of the step, not a running sum, so no error builds up.
  const double slack = step * 1e-9;
  const auto first = static_cast<long>(std::ceil((low - slack) / step));
  for (long k = first; static_cast<double>(k) * step <= high + slack; ++k) {
    ticks.push_back(static_cast<double>(k) * step + 0.0);  // + 0.0: no tick at -0
  }
  return ticks;
}

SvgCanvas::SvgCanvas(double width, double height) : width_(width), height_(height) {}

void SvgCanvas::text(double x, double y, std::string_view content, double size, Anchor anchor,
                     std::string_view attributes) {
  body_ += "<text x=\"" + fixed_text(x, 2) + "\" y=\"" + fixed_text(y, 2) + "\" font-size=\"" +
           fixed_text(size, 1) + "\" text-anchor=\"";
  body_ += anchor_name(anchor);
  body_ += '"';
  if (!attributes.empty()) {
    body_ += ' ';
    body_ += attributes;
  }
  body_ += '>' + xml_escaped(content) + "</text>\n";
}

void SvgCanvas::line(double x1, double y1, double x2, double y2, std::string_view attributes) {
  body_ += "<line x1=\"" + fixed_text(x1, 2) + "\" y1=\"" + fixed_text(y1, 2) + "\" x2=\"" +
           fixed_text(x2, 2) + "\" y2=\"" + fixed_text(y2, 2) + "\" ";
  body_ += attributes;
  body_ += "/>\n";
}

void SvgCanvas::rect(double x, double y, double width, double height, std::string_view attributes) {
  body_ += "<rect x=\"" + fixed_text(x, 2) + "\" y=\"" + fixed_text(y, 2) + "\" width=\"" +
           fixed_text(width, 2) + "\" height=\"" + fixed_text(height, 2) + "\" ";
  body_ += attributes;
  body_ += "/>\n";
}

void SvgCanvas::path(const std::vector<double>& points, std::string_view attributes) {
  std::string data;
  for (std::size_t k = 0; k + 1 < points.size(); k += 2) {
    data += (k == 0 ? "M" : " L");
    data += fixed_text(points[k], 2) + ',' + fixed_text(points[k + 1], 2);
  }
  body_ += "<path d=\"" + data + "\" ";
  body_ += attributes;
  body_ += "/>\n";
}

void SvgCanvas::x_ticks(double y, const std::vector<Tick>& ticks) {
  for (const Tick& tick : ticks) {
    line(tick.at, y, tick.at, y + 5.0, "stroke=\"#333\"");
    text(tick.at, y + 17.0, tick.label, 11.0, Anchor::middle);
  }
}

void SvgCanvas::y_ticks(double x, const std::vector<Tick>& ticks) {
  for (const Tick& tick : ticks) {
    line(x - 5.0, tick.at, x, tick.at, "stroke=\"#333\"");
    text(x - 8.0, tick.at + 4.0, tick.label, 11.0, Anchor::end);
  }
}

void SvgCanvas::begin_group(std::string_view id, std::string_view title) {
  body_ += "<g id=\"" + xml_escaped(id) + "\">\n<title>" + xml_escaped(title) + "</title>\n";
}

void SvgCanvas::end_group() { body_ += "</g>\n"; }

std::string SvgCanvas::finish() const {
  const std::string width = fixed_text(width_, 0);
  const std::string height = fixed_text(height_, 0);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
         width + "\" height=\"" + height + "\" viewBox=\"0 0 " + width + ' ' + height +
         "\" font-family=\"sans-serif\">\n<rect x=\"0\" y=\"0\" width=\"" + width + "\" height=\"" +
         height + "\" fill=\"#ffffff\"/>\n" + body_ + "</svg>\n";
}

}  // namespace results
