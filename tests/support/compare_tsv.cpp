// compare_tsv EXPECTED ACTUAL: exit 0 when the two tab-separated tables agree:
// the same rows and columns, the header row and text fields byte for byte,
// numeric fields as the doubles they denote (1e-05 and 0.00001 agree).
// Otherwise prints the file, line and column of the first difference and
// exits 1; exits 2 when a file cannot be read.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
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

// The distance of two finite doubles of one sign in units in the last place.
std::uint64_t ulps_apart(double a, double b) {
  const auto bits = [](double x) {
    std::uint64_t u = 0;
    std::memcpy(&u, &x, sizeof u);
    return u;
  };
  if ((a < 0.0) != (b < 0.0)) {
    return a == b ? 0 : UINT64_MAX;
  }
  const std::uint64_t x = bits(a);
  const std::uint64_t y = bits(b);
  return x > y ? x - y : y - x;
}

// A numeric field agrees when it denotes the same double, or one at most
// `ulps` units in the last place away in a column given a tolerance.
bool fields_agree(std::string_view expected, std::string_view actual, bool header,
                  std::uint64_t ulps) {
  if (expected == actual) {
    return true;
  }
  if (header) {
    return false;
  }
  const std::optional<double> want = number_of(expected);
  const std::optional<double> got = number_of(actual);
  return want && got && (*want == *got || ulps_apart(*want, *got) <= ulps);
}

// COLUMN=ULPS arguments: the columns (by header name) whose sums an
// independent reference may have formed in another order.
std::map<std::string, std::uint64_t> tolerances(int argc, char** argv) {
  std::map<std::string, std::uint64_t> result;
  for (int a = 3; a < argc; ++a) {
    const std::string_view arg(argv[a]);
    const std::size_t eq = arg.find('=');
    if (eq != std::string_view::npos) {
      result[std::string(arg.substr(0, eq))] = std::stoull(std::string(arg.substr(eq + 1)));
    }
  }
  return result;
}

int report(const char* path, std::size_t line, std::size_t column, std::string_view what) {
  std::cerr << path << ':' << line << ':' << column << ": " << what << '\n';
  return 1;
}

// The fields of one line pair; 0 when they agree, else the report's status.
int compare_line(const char* path, std::size_t line, std::string_view want_line,
                 std::string_view got_line, const std::vector<std::uint64_t>& ulps) {
  const std::vector<std::string_view> want = split(want_line, '\t');
  const std::vector<std::string_view> got = split(got_line, '\t');
  for (std::size_t j = 0; j < want.size() && j < got.size(); ++j) {
    const std::uint64_t tolerance = j < ulps.size() ? ulps[j] : 0;
    if (!fields_agree(want[j], got[j], line == 1, tolerance)) {
      return report(path, line, j + 1,
                    "expected '" + std::string(want[j]) + "', got '" + std::string(got[j]) + "'");
    }
  }
  if (want.size() != got.size()) {
    return report(
        path, line, std::min(want.size(), got.size()) + 1,
        "expected " + std::to_string(want.size()) + " columns, got " + std::to_string(got.size()));
  }
  return 0;
}

// Tables of different lengths: says whether the final LF or whole lines differ.
int compare_lengths(const char* path, const std::vector<std::string_view>& want_lines,
                    const std::vector<std::string_view>& got_lines) {
  if (want_lines.size() == got_lines.size()) {
    return 0;
  }
  // split leaves an empty last part after the final LF.
  const bool want_end = want_lines.back().empty();
  const bool got_end = got_lines.back().empty();
  if (want_end != got_end) {
    return report(path, got_lines.size(), 1,
                  got_end ? "LF after the last line not expected" : "no LF after the last line");
  }
  const std::size_t end = want_end ? 1 : 0;
  return report(path, std::min(want_lines.size(), got_lines.size()), 1,
                "expected " + std::to_string(want_lines.size() - end) + " lines, got " +
                    std::to_string(got_lines.size() - end));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: compare_tsv EXPECTED ACTUAL [COLUMN=ULPS ...]\n";
    return 2;
  }
  const std::map<std::string, std::uint64_t> tolerance = tolerances(argc, argv);
  const std::optional<std::string> expected = read_file(argv[1]);
  const std::optional<std::string> actual = read_file(argv[2]);
  if (!expected || !actual) {
    std::cerr << "compare_tsv: cannot read " << (expected ? argv[2] : argv[1]) << '\n';
    return 2;
  }
  const std::vector<std::string_view> want_lines = split(*expected, '\n');
  const std::vector<std::string_view> got_lines = split(*actual, '\n');
  std::vector<std::uint64_t> ulps;  // per column of the expected header
  for (const std::string_view name : split(want_lines.front(), '\t')) {
    const auto found = tolerance.find(std::string(name));
    ulps.push_back(found == tolerance.end() ? 0 : found->second);
  }
  for (std::size_t i = 0; i < want_lines.size() && i < got_lines.size(); ++i) {
    if ((i + 1 == want_lines.size()) != (i + 1 == got_lines.size())) {
      break;  // one table ends here: the lengths tell how
    }
    if (const int status = compare_line(argv[2], i + 1, want_lines[i], got_lines[i], ulps)) {
      return status;
    }
  }
  return compare_lengths(argv[2], want_lines, got_lines);
}
