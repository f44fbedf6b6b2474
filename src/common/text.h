#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace common {

// A fixed-length, blank-padded character value. Two values of one length are
// equal exactly when they are equal with trailing blanks ignored, so the
// defaulted comparison is the comparison the data needs.
template <std::size_t N>
struct FixedText {
  std::array<char, N> chars;

  constexpr FixedText() { chars.fill(' '); }

  // The leftmost N characters of text, blank-padded to N.
  constexpr explicit FixedText(std::string_view text) {
    chars.fill(' ');
    assign(text);
  }

  constexpr void assign(std::string_view text) {
    chars.fill(' ');
    const std::size_t n = text.size() < N ? text.size() : N;
    for (std::size_t i = 0; i < n; ++i) {
      chars[i] = text[i];
    }
  }

  static constexpr std::size_t size() { return N; }
  constexpr char& operator[](std::size_t i) { return chars[i]; }
  constexpr char operator[](std::size_t i) const { return chars[i]; }

  // All N characters, trailing blanks included.
  [[nodiscard]] constexpr std::string_view view() const { return {chars.data(), N}; }

  // The value without its trailing blanks.
  [[nodiscard]] constexpr std::string_view trimmed() const {
    std::size_t n = N;
    while (n > 0 && chars[n - 1] == ' ') {
      --n;
    }
    return {chars.data(), n};
  }

  [[nodiscard]] constexpr bool is_blank() const { return trimmed().empty(); }

  // Compared eight (then four) characters at a time: the hot loops compare
  // labels and typings, and a call to the library's memcmp per comparison
  // cost more than the comparison.
  friend constexpr bool operator==(const FixedText& a, const FixedText& b) {
    if (std::is_constant_evaluated()) {
      return a.chars == b.chars;
    }
    std::size_t i = 0;
    for (; i + 8 <= N; i += 8) {
      if (!same_word<std::uint64_t>(a, b, i)) {
        return false;
      }
    }
    if constexpr (N % 8 >= 4) {
      if (!same_word<std::uint32_t>(a, b, i)) {
        return false;
      }
      i += 4;
    }
    for (; i < N; ++i) {
      if (a.chars[i] != b.chars[i]) {
        return false;
      }
    }
    return true;
  }
  // NOLINTNEXTLINE(modernize-use-nullptr): clang-tidy 14 misreads a defaulted <=>
  friend constexpr auto operator<=>(const FixedText&, const FixedText&) = default;

 private:
  // Whether a and b agree in the sizeof(Word) characters from i on.
  template <typename Word>
  static bool same_word(const FixedText& a, const FixedText& b, std::size_t i) {
    Word x = 0;
    Word y = 0;
    std::memcpy(&x, a.chars.data() + i, sizeof x);
    std::memcpy(&y, b.chars.data() + i, sizeof y);
    return x == y;
  }
};

using Typing = FixedText<5>;       // an allele name as written in a phenotype record
using Label = FixedText<10>;       // a haplotype label or a group value: one code letter per system
using CodeString = FixedText<20>;  // phenotype code: one code letter per typing
using PopulationName = FixedText<20>;  // name of a sample population
using FileName = FixedText<40>;        // a file name of the control file

// The parts one after another. Messages are built with this rather than with
// "literal" + std::string, on which GCC 12 gives a false -Wrestrict at -O3.
[[nodiscard]] std::string join(std::initializer_list<std::string_view> parts);

}  // namespace common
