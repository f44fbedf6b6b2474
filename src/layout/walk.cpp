#include <algorithm>
#include <string>

#include "layout/fields_internal.h"
#include "layout/walk_internal.h"

namespace layout::detail {

bool is_data_item(const Item& item) {
  return item.kind == Item::Kind::alpha || item.kind == Item::Kind::integer ||
         item.kind == Item::Kind::fixed;
}

bool holds_data_item(std::span<const Item> items) {
  return std::any_of(items.begin(), items.end(), [](const Item& item) {
    return is_data_item(item) || (item.kind == Item::Kind::group && holds_data_item(item.items));
  });
}

bool blanks_only(const Item& group) {
  return std::all_of(group.items.begin(), group.items.end(), [](const Item& item) {
    return item.kind == Item::Kind::skip || (item.kind == Item::Kind::group && blanks_only(item));
  });
}

std::int64_t add_columns(std::int64_t a, std::int64_t b) { return std::min(a + b, MAX_COLUMN); }

std::int64_t blank_columns(const Item& group) {
  std::int64_t once = 0;
  for (const Item& item : group.items) {
    once = add_columns(once, item.kind == Item::Kind::skip ? item.width : blank_columns(item));
  }
  // once <= 2^40 and repeat <= 32767, so the product cannot overflow.
  return std::min(once * group.repeat, MAX_COLUMN);
}

std::size_t reversion_start(std::span<const Item> items) {
  for (std::size_t i = items.size(); i > 0; --i) {
    if (items[i - 1].kind == Item::Kind::group) {
      return i - 1;
    }
  }
  return 0;
}

std::string item_name(const Item& item) {
  switch (item.kind) {
    case Item::Kind::alpha:
      return item.width == 0 ? "A" : common::join({"A", std::to_string(item.width)});
    case Item::Kind::integer:
      return common::join({"I", std::to_string(item.width)});
    case Item::Kind::fixed:
      return common::join({"F", std::to_string(item.width), ".", std::to_string(item.decimals)});
    case Item::Kind::skip:
      return common::join({std::to_string(item.width), "X"});
    case Item::Kind::text:
      return common::join({"'", item.text, "'"});
    case Item::Kind::slash:
      return "/";
    case Item::Kind::group:
      return "(...)";
  }
  return "?";
}

}  // namespace layout::detail
