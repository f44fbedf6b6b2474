#include "support/svg_check.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

namespace test_support {
namespace {

// Text between tags: known entities only, no bare >.
std::string text_fault(const std::string& text) {
  for (std::size_t amp = text.find('&'); amp != std::string::npos; amp = text.find('&', amp + 1)) {
    const std::string_view rest = std::string_view(text).substr(amp);
    const bool known = rest.starts_with("&amp;") || rest.starts_with("&lt;") ||
                       rest.starts_with("&gt;") || rest.starts_with("&quot;") ||
                       rest.starts_with("&apos;");
    if (!known) {
      return "bare & in text";
    }
  }
  return text.find('>') == std::string::npos ? "" : "bare > in text";
}

// Attributes of an opening tag: quotes balanced, no <, every coordinate on the canvas
// (whose size the <svg> tag sets).
std::string attribute_fault(const std::string& name, const std::string& tag, double& width,
                            double& height) {
  if (std::count(tag.begin(), tag.end(), '"') % 2 != 0 || tag.find('<') != std::string::npos) {
    return "bad attributes in <" + name + ">";
  }
  for (const std::string key :
       {" x=\"", " x1=\"", " x2=\"", " y=\"", " y1=\"", " y2=\"", " width=\"", " height=\""}) {
    const std::size_t k = tag.find(key);
    if (k == std::string::npos) {
      continue;
    }
    double value = 0.0;
    std::from_chars(tag.data() + k + key.size(), tag.data() + tag.size(), value);
    const bool horizontal = key[1] == 'x' || key[1] == 'w';
    if (name == "svg") {
      (key[1] == 'w' ? width : height) = key[1] == 'w' || key[1] == 'h' ? value : -1.0;
    } else if (value < 0.0 || value > (horizontal ? width : height)) {
      return "<" + name + ">" + key + " off the canvas";
    }
  }
  return "";
}

}  // namespace

std::string svg_fault(const std::string& svg) {
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  if (!svg.starts_with(declaration)) {
    return "no XML declaration";
  }
  std::vector<std::string> open;
  double width = -1.0;
  double height = -1.0;
  for (std::size_t at = declaration.size(); at < svg.size();) {
    const std::size_t lt = svg.find('<', at);
    if (std::string fault = text_fault(svg.substr(at, lt - at)); !fault.empty()) {
      return fault;
    }
    if (lt == std::string::npos) {
      break;
    }
    const std::size_t gt = svg.find('>', lt);
    const std::string tag = svg.substr(lt + 1, gt - lt - 1);
    at = gt + 1;
    const bool closing = tag[0] == '/';
    const std::size_t from = closing ? 1 : 0;
    const std::string name = tag.substr(from, tag.find_first_of(" /", 1) - from);
    if (closing) {
      if (open.empty() || open.back() != name) {
        return "unbalanced </" + name + ">";
      }
      open.pop_back();
      continue;
    }
    if (std::string fault = attribute_fault(name, tag, width, height); !fault.empty()) {
      return fault;
    }
    if (tag.back() != '/') {
      open.push_back(name);
    }
  }
  return open.empty() ? "" : "<" + open.back() + "> not closed";
}

int count_of_text(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace test_support
