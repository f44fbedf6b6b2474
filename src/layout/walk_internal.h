#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "layout/layout.h"

// The walk over a layout list that reading and writing share: repeat counts,
// groups, stopping when the values run out, and reversion when the list ends
// while values remain.

namespace layout::detail {

enum class Flow { go_on, stop };

// Positions within a record saturate here, so that no layout can overflow them.
inline constexpr std::int64_t MAX_COLUMN = std::int64_t{1} << 40;

[[nodiscard]] bool is_data_item(const Item& item);
// True when the items, or any group among them, hold a data item.
[[nodiscard]] bool holds_data_item(std::span<const Item> items);
// True when a group holds nothing but nX items (in nested groups too).
[[nodiscard]] bool blanks_only(const Item& group);
// The columns such a group covers, repeat count included, saturated at MAX_COLUMN.
[[nodiscard]] std::int64_t blank_columns(const Item& group);
// 0-based index of the last top-level group, where processing resumes when
// the list ends and values remain; 0 when the list has no group.
[[nodiscard]] std::size_t reversion_start(std::span<const Item> items);
// A data item as written in a layout, without its repeat count: "I5", "A", "F5.3".
[[nodiscard]] std::string item_name(const Item& item);
// a + b, saturated at MAX_COLUMN (both non-negative).
[[nodiscard]] std::int64_t add_columns(std::int64_t a, std::int64_t b);

// An operation (a read or a write) supplies:
//   bool has_value() const   values or variables remain
//   void data(const Item&)   one data item takes the next value
//   void text(const std::string&), void skip(std::int64_t columns)
//   Flow next_record()       a slash or a reversion; stop at end of file
//   void no_data_item()      values remain but the list has no data item for them
template <class Operation>
Flow run_items(std::span<const Item> items, Operation& operation);

template <class Operation>
Flow run_item(const Item& item, Operation& operation) {
  switch (item.kind) {
    case Item::Kind::text:
      operation.text(item.text);
      return Flow::go_on;
    case Item::Kind::skip:
      operation.skip(item.width);
      return Flow::go_on;
    case Item::Kind::slash:
      return operation.next_record();
    case Item::Kind::group:
      // A group of blanks is done in one step: with its repeat counts it may
      // stand for billions of columns and can neither stop nor take a value.
      if (blanks_only(item)) {
        operation.skip(blank_columns(item));
        return Flow::go_on;
      }
      for (int r = 0; r < item.repeat; ++r) {
        if (run_items(item.items, operation) == Flow::stop) {
          return Flow::stop;
        }
      }
      return Flow::go_on;
    case Item::Kind::alpha:
    case Item::Kind::integer:
    case Item::Kind::fixed:
      for (int r = 0; r < item.repeat; ++r) {
        // Values exhausted: the operation ends at the next data item.
        if (!operation.has_value()) {
          return Flow::stop;
        }
        operation.data(item);
      }
      return Flow::go_on;
  }
  return Flow::go_on;
}

template <class Operation>
Flow run_items(std::span<const Item> items, Operation& operation) {
  for (const Item& item : items) {
    if (run_item(item, operation) == Flow::stop) {
      return Flow::stop;
    }
  }
  return Flow::go_on;
}

// One whole operation. Every pass of a reversion begins with a new record and
// takes at least one value, so the walk always ends.
template <class Operation>
void run_layout(std::span<const Item> items, Operation& operation) {
  if (operation.has_value() && !holds_data_item(items)) {
    operation.no_data_item();
    return;
  }
  if (run_items(items, operation) == Flow::stop) {
    return;
  }
  const std::span<const Item> rest = items.subspan(reversion_start(items));
  while (operation.has_value()) {
    if (!holds_data_item(rest)) {
      operation.no_data_item();
      return;
    }
    if (operation.next_record() == Flow::stop || run_items(rest, operation) == Flow::stop) {
      return;
    }
  }
}

}  // namespace layout::detail
