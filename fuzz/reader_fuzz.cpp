// Fuzz target for the record reader. The first line of the input is a layout
// list; the rest is the file it reads, until end of file, into variables of
// the kinds the layout's first data items ask for. Contract: every read ends
// in success, end of file or common::FileError; any other exception, crash or
// sanitizer report is a bug.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "layout/layout.h"

namespace {

constexpr std::size_t MAX_VARIABLES = 8;

// The kinds of the first data items in order: 'I' or 'A' (F is rejected by
// the reader). budget bounds the items visited, whatever the repeat counts.
void data_kinds(const std::vector<layout::Item>& items, std::string& kinds, int& budget) {
  for (const layout::Item& item : items) {
    for (int r = 0; r < item.repeat && kinds.size() < MAX_VARIABLES && budget > 0; ++r) {
      --budget;
      if (item.kind == layout::Item::Kind::group) {
        data_kinds(item.items, kinds, budget);
      } else if (item.kind == layout::Item::Kind::integer) {
        kinds += 'I';
      } else if (item.kind == layout::Item::Kind::alpha) {
        kinds += 'A';
      }
    }
  }
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  if (newline == std::string_view::npos) {
    return 0;
  }
  const layout::ParseResult result = layout::parse_layout(input.substr(0, newline));
  if (!result.list) {
    return 0;
  }
  std::string kinds;
  int budget = 1000;
  data_kinds(result.list->items, kinds, budget);
  // One more variable than the items take, so that reversion is exercised.
  kinds += kinds.empty() ? "" : kinds.substr(0, 1);

  std::vector<int> integers(kinds.size(), 0);
  std::vector<common::FixedText<5>> short_texts(kinds.size());
  std::vector<common::FixedText<20>> long_texts(kinds.size());
  std::vector<layout::ReadTarget> targets;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (kinds[i] == 'I') {
      targets.push_back(layout::target(integers[i]));
    } else if (i % 2 == 0) {
      targets.push_back(layout::target(short_texts[i]));
    } else {
      targets.push_back(layout::target(long_texts[i]));
    }
  }

  std::istringstream in{std::string(input.substr(newline + 1))};
  layout::RecordReader reader(in, "fuzz");
  try {
    // Every read consumes at least one record, so this loop ends.
    while (reader.read(*result.list, targets) == layout::ReadStatus::ok) {
    }
  } catch (const common::FileError&) {
  }
  return 0;
}
