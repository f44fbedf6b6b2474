// compare_tsv EXPECTED ACTUAL: exit 0 when the two tab-separated tables agree:
// the same rows and columns, the header row and text fields byte for byte,
// numeric fields as the doubles they denote (1e-05 and 0.00001 agree).
// Otherwise prints the file, line and column of the first difference and
// exits 1; exits 2 when a file cannot be read.

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

std::optional<std::string> read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, start)) {
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::optional<double> number_of(std::string_view field) {
  double value = 0.0;
  const char* end = field.data() + field.size();
  const std::from_chars_result parsed = std::from_chars(field.data(), end, value);
  if (field.empty() || parsed.ec != std::errc{} || parsed.ptr != end) {
    return std::nullopt;
  }
  return value;
}

bool fields_agree(std::string_view expected, std::string_view actual, bool header) {
  if (expected == actual) {
    return true;
  }
  if (header) {
    return false;
  }
  const std::optional<double> want = number_of(expected);
  const std::optional<double> got = number_of(actual);
  return want && got && *want == *got;
}

int report(const char* path, std::size_t line, std::size_t column, std::string_view what) {
  std::cerr << path << ':' << line << ':' << column << ": " << what << '\n';
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: compare_tsv EXPECTED ACTUAL\n";
    return 2;
  }
  const std::optional<std::string> expected = read_file(argv[1]);
  const std::optional<std::string> actual = read_file(argv[2]);
  if (!expected || !actual) {
    std::cerr << "compare_tsv: cannot read " << (expected ? argv[2] : argv[1]) << '\n';
    return 2;
  }
  const std::vector<std::string_view> want_lines = split(*expected, '\n');
  const std::vector<std::string_view> got_lines = split(*actual, '\n');
  for (std::size_t i = 0; i < want_lines.size() && i < got_lines.size(); ++i) {
    const bool want_last = i + 1 == want_lines.size();
    const bool got_last = i + 1 == got_lines.size();
    if (want_last != got_last) {
      break;  // one table ends here: the counts below tell how
    }
    const std::vector<std::string_view> want = split(want_lines[i], '\t');
    const std::vector<std::string_view> got = split(got_lines[i], '\t');
    for (std::size_t j = 0; j < want.size() && j < got.size(); ++j) {
      if (!fields_agree(want[j], got[j], i == 0)) {
        return report(argv[2], i + 1, j + 1,
                      "expected '" + std::string(want[j]) + "', got '" + std::string(got[j]) + "'");
      }
    }
    if (want.size() != got.size()) {
      return report(argv[2], i + 1, std::min(want.size(), got.size()) + 1,
                    "expected " + std::to_string(want.size()) + " columns, got " +
                        std::to_string(got.size()));
    }
  }
  if (want_lines.size() != got_lines.size()) {
    // split leaves an empty last part after the final LF.
    const bool want_end = want_lines.back().empty();
    const bool got_end = got_lines.back().empty();
    if (want_end != got_end) {
      return report(argv[2], got_lines.size(), 1,
                    got_end ? "LF after the last line not expected" : "no LF after the last line");
    }
    const std::size_t end = want_end ? 1 : 0;
    return report(argv[2], std::min(want_lines.size(), got_lines.size()), 1,
                  "expected " + std::to_string(want_lines.size() - end) + " lines, got " +
                      std::to_string(got_lines.size() - end));
  }
  return 0;
}
