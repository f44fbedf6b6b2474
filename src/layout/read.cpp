#include <algorithm>
#include <cassert>
#include <istream>
#include <limits>
#include <streambuf>
#include <string>

#include "layout/fields_internal.h"
#include "layout/parser_internal.h"
#include "layout/walk_internal.h"

namespace layout {

namespace {

// The magnitude of the most negative 32-bit value.
constexpr std::int64_t LARGEST_MAGNITUDE = std::int64_t{std::numeric_limits<int>::max()} + 1;

}  // namespace

namespace detail {

std::optional<int> parse_integer(std::string_view field) {
  std::int64_t magnitude = 0;
  bool negative = false;
  bool signed_field = false;
  bool digits = false;
  for (const char c : field) {
    if (c == ' ') {
      continue;
    }
    if ((c == '+' || c == '-') && !signed_field && !digits) {
      signed_field = true;
      negative = c == '-';
    } else if (is_digit(c)) {
      digits = true;
      magnitude = magnitude * 10 + (c - '0');
      if (magnitude > LARGEST_MAGNITUDE) {
        return std::nullopt;
      }
    } else {
      return std::nullopt;
    }
  }
  if (signed_field && !digits) {
    return std::nullopt;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

void read_alpha(std::string_view record, std::int64_t start, std::int64_t width,
                std::span<char> variable) {
  const auto length = static_cast<std::int64_t>(variable.size());
  // The first column of the field that is stored.
  const std::int64_t from = width >= length ? start + (width - length) : start;
  const std::int64_t stored = std::min(width, length);
  for (std::int64_t k = 0; k < length; ++k) {
    const std::int64_t column = from + k;
    const bool in_record = k < stored && column < static_cast<std::int64_t>(record.size());
    variable[static_cast<std::size_t>(k)] =
        in_record ? record[static_cast<std::size_t>(column)] : ' ';
  }
}

}  // namespace detail

// One read operation in progress.
class ReadOperation {
 public:
  ReadOperation(RecordReader& reader, const LayoutList& layout, std::span<const ReadTarget> targets)
      : reader_(reader), layout_(layout), targets_(targets) {}

  [[nodiscard]] bool has_value() const { return next_ < targets_.size(); }
  [[nodiscard]] bool end_of_file() const { return end_of_file_; }

  void data(const Item& item) {
    const ReadTarget& target = targets_[next_++];
    if (item.kind == Item::Kind::integer) {
      int* const* integer = std::get_if<int*>(&target);
      if (integer == nullptr) {
        fail(common::join({"item ", detail::item_name(item), " does not suit a character value"}));
      }
      **integer = read_integer(item.width);
    } else if (item.kind == Item::Kind::alpha) {
      const std::span<char>* chars = std::get_if<std::span<char>>(&target);
      if (chars == nullptr) {
        fail(common::join({"item ", detail::item_name(item), " does not suit an integer value"}));
      }
      const std::int64_t width =
          item.width == 0 ? static_cast<std::int64_t>(chars->size()) : item.width;
      detail::read_alpha(reader_.record_, column_, width, *chars);
      skip(width);
    } else {
      assert(false && "read_layout_problem lets no other data item through");
    }
  }

  void text(const std::string& /*text*/) const {
    assert(false && "read_layout_problem lets no text item through");
  }
  void skip(std::int64_t columns) { column_ = detail::add_columns(column_, columns); }

  detail::Flow next_record() {
    if (!reader_.next_record()) {
      end_of_file_ = true;
      return detail::Flow::stop;
    }
    column_ = 0;
    return detail::Flow::go_on;
  }

  [[noreturn]] void no_data_item() const {
    fail(common::join({"the layout ", printable(layout_.source),
                       " has no data item for the remaining variables"}));
  }

  [[noreturn]] void fail(const std::string& what) const {
    throw common::FileError{reader_.name_, reader_.line_number_, what};
  }

 private:
  int read_integer(int width) {
    const std::int64_t start = column_;
    skip(width);
    const std::string_view record = reader_.record_;
    const auto first = static_cast<std::size_t>(std::min<std::int64_t>(start, std::ssize(record)));
    const auto last = static_cast<std::size_t>(std::min<std::int64_t>(column_, std::ssize(record)));
    const std::string_view field = record.substr(first, last - first);
    const std::optional<int> value = detail::parse_integer(field);
    if (!value) {
      fail(common::join({"columns ", std::to_string(start + 1), "-", std::to_string(column_), ": '",
                         printable(field), "' is not a valid integer"}));
    }
    return *value;
  }

  RecordReader& reader_;
  const LayoutList& layout_;
  std::span<const ReadTarget> targets_;
  std::size_t next_ = 0;
  std::int64_t column_ = 0;  // 0-based column of the next field in the record
  bool end_of_file_ = false;
};

RecordReader::RecordReader(std::istream& in, std::string display_name)
    : in_(in), name_(std::move(display_name)) {}

bool RecordReader::next_record() {
  // Read byte by byte from the buffer, so that no line longer than the limit
  // is ever held: endless data without a line end ends in the error below,
  // not in an allocation that fails.
  using Traits = std::streambuf::traits_type;
  std::streambuf& in = *in_.rdbuf();
  record_.clear();
  Traits::int_type c = in.sbumpc();
  if (Traits::eq_int_type(c, Traits::eof())) {
    return false;
  }
  bool line_end = false;
  for (; !Traits::eq_int_type(c, Traits::eof()); c = in.sbumpc()) {
    if (Traits::eq_int_type(c, Traits::to_int_type('\n'))) {
      line_end = true;
      break;
    }
    if (record_.size() > MAX_LINE_LENGTH) {  // one byte more may be the CR before the LF
      throw_line_too_long();
    }
    record_.push_back(Traits::to_char_type(c));
  }
  // A CR is dropped only where it stands before the LF: a last line without
  // LF keeps a final CR.
  if (line_end && !record_.empty() && record_.back() == '\r') {
    record_.pop_back();
  }
  if (record_.size() > MAX_LINE_LENGTH) {
    throw_line_too_long();
  }
  ++line_number_;
  return true;
}

void RecordReader::throw_line_too_long() const {
  throw common::FileError{
      name_, line_number_ + 1,
      common::join(
          {"the line is longer than ", std::to_string(MAX_LINE_LENGTH),
           " bytes (1 MiB), the longest line this program reads; is this the right file?"})};
}

ReadStatus RecordReader::read(const LayoutList& layout, std::span<const ReadTarget> targets) {
  if (const std::string problem = read_layout_problem(layout); !problem.empty()) {
    throw common::FileError{name_, line_number_ + 1, problem};
  }
  ReadOperation operation(*this, layout, targets);
  if (operation.next_record() == detail::Flow::stop) {
    return ReadStatus::end_of_file;
  }
  detail::run_layout(layout.items, operation);
  return operation.end_of_file() ? ReadStatus::end_of_file : ReadStatus::ok;
}

ReadStatus RecordReader::read(LayoutText layout, std::span<const ReadTarget> targets) {
  return read(parsed(layout), targets);
}

namespace {

std::string read_problem(std::span<const Item> items) {
  for (const Item& item : items) {
    if (item.kind == Item::Kind::text) {
      return common::join(
          {"the text item '", printable(item.text), "' cannot be used for reading"});
    }
    if (item.kind == Item::Kind::fixed) {
      return common::join({"the item ", detail::item_name(item), " cannot be used for reading"});
    }
    if (item.kind == Item::Kind::group) {
      if (std::string problem = read_problem(item.items); !problem.empty()) {
        return problem;
      }
    }
  }
  return {};
}

}  // namespace

std::string read_layout_problem(const LayoutList& layout) { return read_problem(layout.items); }

}  // namespace layout
