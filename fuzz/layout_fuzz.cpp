// Fuzz target for the layout-list parser. Contract: any text parses or is
// rejected with a message and a position inside the text (or just past its
// end); the validity check agrees with the parser, and a parsed list keeps its
// source. Anything else aborts.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "layout/layout.h"

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const layout::ParseResult result = layout::parse_layout(text);
  if (result.list.has_value() != layout::layout_is_valid(text)) {
    std::abort();
  }
  if (result.list) {
    if (result.list->source != text) {
      std::abort();
    }
    (void)layout::read_layout_problem(*result.list);
  } else if (result.error.position < 1 || static_cast<size_t>(result.error.position) > size + 1 ||
             result.error.what.empty()) {
    std::abort();
  }
  return 0;
}
