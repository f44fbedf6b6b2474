#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "layout/walk_internal.h"

namespace layout {

namespace {

std::string asterisks(int width) { return std::string(static_cast<std::size_t>(width), '*'); }

// text right-justified in width columns, or asterisks when it does not fit.
std::string right_justified(std::string_view text, int width) {
  const auto w = static_cast<std::size_t>(width);
  if (text.size() > w) {
    return asterisks(width);
  }
  std::string field(w - text.size(), ' ');
  field += text;
  return field;
}

// One write operation in progress.
class WriteOperation {
 public:
  explicit WriteOperation(std::span<const WriteValue> values) : values_(values) {}

  [[nodiscard]] bool has_value() const { return next_ < values_.size(); }
  void data(const Item& item) { current_ += format_value(item, values_[next_++]); }
  void text(const std::string& text) { current_ += text; }
  void skip(std::int64_t columns) { current_.append(static_cast<std::size_t>(columns), ' '); }
  detail::Flow next_record() {
    records_.push_back(std::move(current_));
    current_.clear();
    return detail::Flow::go_on;
  }
  void no_data_item() const {
    // Layouts given to the writer are the program's own; the values it
    // passes always have data items to go to.
    assert(false && "values remain but the layout has no data item for them");
  }
  // Ends the last record and hands over all records.
  [[nodiscard]] std::vector<std::string> finish() {
    records_.push_back(std::move(current_));
    return std::move(records_);
  }

 private:
  static std::string format_value(const Item& item, const WriteValue& value) {
    const int* integer = std::get_if<int>(&value);
    const double* real = std::get_if<double>(&value);
    const std::string_view* chars = std::get_if<std::string_view>(&value);
    if (item.kind == Item::Kind::integer && integer != nullptr) {
      return format_integer(*integer, item.width);
    }
    if (item.kind == Item::Kind::fixed && real != nullptr) {
      return format_fixed(*real, item.width, item.decimals);
    }
    if (item.kind == Item::Kind::alpha && chars != nullptr) {
      return item.width == 0 ? std::string(*chars) : format_alpha(*chars, item.width);
    }
    assert(false && "a value does not suit its data item");
    return asterisks(item.width);
  }

  std::span<const WriteValue> values_;
  std::size_t next_ = 0;
  std::vector<std::string> records_;
  std::string current_;
};

}  // namespace

std::string format_integer(int value, int width) {
  std::array<char, 16> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  return right_justified(
      std::string_view(digits.data(), static_cast<std::size_t>(result.ptr - digits.data())), width);
}

std::string integer_text(std::int64_t value) {
  std::array<char, 24> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  return std::string(digits.data(), static_cast<std::size_t>(result.ptr - digits.data()));
}

std::string format_fixed(double value, int width, int decimals) {
  if (!std::isfinite(value)) {
    return asterisks(width);
  }
  // -0.0 is written as zero; a negative value that rounds to zero keeps its
  // sign, because to_chars writes "-0.000" for it.
  const double v = value == 0.0 ? 0.0 : value;
  // to_chars is exact and rounds to nearest; an exact binary tie goes to the
  // even digit (0.0625 in F5.3 is " .062", 0.375 in F8.2 is "     .38").
  std::string text(static_cast<std::size_t>(320 + decimals), '\0');
  const auto result =
      std::to_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed, decimals);
  assert(result.ec == std::errc{});
  text.resize(static_cast<std::size_t>(result.ptr - text.data()));
  if (decimals == 0) {
    text += '.';
  }
  // No digit before the point when the rounded integer part is 0, unless no
  // digit would be left at all (d = 0).
  const std::size_t zero = text.front() == '-' ? 1 : 0;
  if (decimals > 0 && text.compare(zero, 2, "0.") == 0) {
    text.erase(zero, 1);
  }
  return right_justified(text, width);
}

std::string format_alpha(std::string_view value, int width) {
  const auto w = static_cast<std::size_t>(width);
  if (w > value.size()) {
    std::string field(w - value.size(), ' ');
    field += value;
    return field;
  }
  return std::string(value.substr(0, w));
}

std::vector<std::string> format_records(const LayoutList& layout,
                                        std::span<const WriteValue> values) {
  WriteOperation operation(values);
  detail::run_layout(layout.items, operation);
  return operation.finish();
}

void write(Sink& sink, const LayoutList& layout, std::span<const WriteValue> values) {
  for (const std::string& record : format_records(layout, values)) {
    sink.write_record(record);
  }
}

void write(Sink& sink, LayoutText layout, std::span<const WriteValue> values) {
  write(sink, parsed(layout), values);
}

void write_line(Sink& sink, std::string_view line) { write(sink, "(A)", {line}); }

}  // namespace layout
