#include <cassert>
#include <string>
#include <utility>
#include <vector>

#include "layout/layout.h"
#include "layout/parser_internal.h"

namespace layout {

namespace {

// The builder of a run-time parse: the items, with groups nested.
class ItemBuilder {
 public:
  ItemBuilder() = default;
  ItemBuilder(const ItemBuilder&) = delete;  // open_ points into top_
  ItemBuilder& operator=(const ItemBuilder&) = delete;

  void slash() { add(Item::Kind::slash); }
  void skip(int count) { add(Item::Kind::skip).width = count; }
  void data(Item::Kind kind, int repeat, int width, int decimals) {
    Item& item = add(kind);
    item.repeat = repeat;
    item.width = width;
    item.decimals = decimals;
  }
  void text(std::string_view raw) {
    Item& item = add(Item::Kind::text);
    for (std::size_t i = 0; i < raw.size(); ++i) {
      item.text += raw[i];
      if (raw[i] == '\'') {
        ++i;  // the parser passes apostrophes inside text in pairs
      }
    }
  }
  // While a group is open nothing is added to the lists around it, so the
  // pointer to its item list stays valid until close_group().
  void open_group(int repeat) {
    Item& group = add(Item::Kind::group);
    group.repeat = repeat;
    open_.push_back(&group.items);
  }
  void close_group() { open_.pop_back(); }

  [[nodiscard]] std::vector<Item> take() { return std::move(top_); }

 private:
  Item& add(Item::Kind kind) {
    Item& item = open_.back()->emplace_back();
    item.kind = kind;
    return item;
  }

  std::vector<Item> top_;
  std::vector<std::vector<Item>*> open_{&top_};  // the innermost open list last
};

}  // namespace

ParseResult parse_layout(std::string_view text) {
  ParseResult result;
  ItemBuilder builder;
  detail::LayoutParser<ItemBuilder> parser(text, builder);
  if (parser.parse()) {
    result.list = LayoutList{builder.take(), std::string(text)};
  } else {
    result.error = parser.error();
  }
  return result;
}

LayoutList parsed(LayoutText text) {
  ParseResult result = parse_layout(text.text());
  // The same parser accepted the text when the program was built.
  assert(result.list.has_value());
  return std::move(*result.list);
}

}  // namespace layout
