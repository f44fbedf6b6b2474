#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "coding/coding.h"
#include "common/count.h"
#include "common/limits.h"

namespace coding {
namespace {

// The look-up key of some typings: per system the two typings, the smaller
// first. Typings are blank-padded, so comparing all five characters is the
// comparison with trailing blanks ignored.
void make_key(const common::RecordTypings& typings, int typing_count, std::string& key) {
  key.clear();
  for (int k = 0; k < typing_count; k += 2) {
    const std::string_view first = typings[k].view();
    const std::string_view second = typings[k + 1].view();
    const bool swap = second < first;
    key.append(swap ? second : first);
    key.append(swap ? first : second);
  }
}

// Typing `unknown` (0-based position) is in no allele list.
[[noreturn]] void stop_unknown_allele(int population, int record, int unknown,
                                      const common::RecordTypings& typings,
                                      const common::SystemTables& systems,
                                      const layout::Sinks& sinks) {
  const int s = common::system_of_typing(unknown);
  const int typing_count = systems.typing_count();
  constexpr layout::LayoutText message =
      "(/,/,' FATAL ERROR:',/,' Encountered allele not in the allele list.',/,"
      "' Processing genetic system number: ',I3,' in the phenotype set below:',/,"
      "' Phenotypes ',10(2A5,'..'))";
  std::vector<std::string> shown;
  shown.reserve(static_cast<std::size_t>(typing_count));  // no reallocation: the views stay valid
  std::vector<layout::WriteValue> values{s + 1};
  for (int k = 0; k < typing_count; ++k) {
    values.emplace_back(std::string_view(shown.emplace_back(layout::printable(typings[k].view()))));
  }
  layout::write_then_stop(
      {{message, values}}, {&sinks.console},
      common::Stop{common::StopCode::unknown_allele,
                   layout::record_text(population, record) + ": the typing \"" +
                       layout::printable(typings[unknown].trimmed()) + "\" of " +
                       layout::system_text(systems, s) +
                       " is not in the system's allele list; correct the typing, or add the"
                       " allele to the system in the data file header"});
}

// The code letter of typing k. The blank test at the name width is made after
// each allele that does not match, not once after the list: a typing blank
// there is allele 1 if it is allele 1's name and missing otherwise.
std::optional<char> code_letter(const common::Typing& typing, int s,
                                const common::SystemTables& systems) {
  const int w = systems.allele_name_width[s];
  for (int a = 0; a < systems.allele_count[s]; ++a) {
    if (typing == systems.allele_name[s][a]) {
      return systems.allele_code[s][a];
    }
    if (typing[static_cast<std::size_t>(w - 1)] == ' ') {
      return common::MISSING_CODE;
    }
  }
  return std::nullopt;
}

// The code string of a new phenotype; stops with 375 at its first typing
// that is in no allele list.
common::CodeString phenotype_code_of(int population, int record,
                                     const common::RecordTypings& typings,
                                     const common::SystemTables& systems,
                                     const layout::Sinks& sinks) {
  const int typing_count = systems.typing_count();
  common::CodeString code;
  for (int k = 0; k < typing_count; ++k) {
    const int s = common::system_of_typing(k);
    const std::optional<char> letter = code_letter(typings[k], s, systems);
    if (!letter) {
      stop_unknown_allele(population, record, k, typings, systems, sinks);
    }
    code[static_cast<std::size_t>(k)] = *letter;
  }
  return code;
}

}  // namespace

void PhenotypeIndex::rebuild(const common::DistinctPhenotypes& distinct, int typing_count,
                             bool keyed) {
  keys_.clear();
  held_ = 0;
  std::fill(slots_.begin(), slots_.end(), -1);
  // A caller's keys cannot be formed again from the typings.
  assert(!keyed || distinct.distinct_count() == 0);
  (void)keyed;
  for (int d = 0; d < distinct.distinct_count(); ++d) {
    add(d, distinct, typing_count);
  }
}

namespace {

// The next eight (or fewer, zero-padded) bytes of a key from `at` on, as a word.
std::uint64_t key_word(const char* key, std::size_t at, std::size_t size) {
  std::uint64_t word = 0;
  if (size - at >= sizeof word) {
    std::memcpy(&word, key + at, sizeof word);
    return word;
  }
  for (std::size_t i = 0; at + i < size; ++i) {
    word |= static_cast<std::uint64_t>(static_cast<unsigned char>(key[at + i])) << (8 * i);
  }
  return word;
}

// A hash of a short key, eight bytes at a time (the library's general hash
// of a string was a tenth of the time of building a permuted data set).
std::size_t key_hash(const char* key, std::size_t size) {
  std::uint64_t h = size;
  for (std::size_t at = 0; at < size; at += 8) {
    h = (h ^ key_word(key, at, size)) * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 32;
  }
  return static_cast<std::size_t>(h ^ (h >> 29));
}

bool same_key(const char* a, const char* b, std::size_t size) {
  for (std::size_t at = 0; at < size; at += 8) {
    if (key_word(a, at, size) != key_word(b, at, size)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::size_t PhenotypeIndex::slot_of_key() const {
  assert(key_.size() == key_size_);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = key_hash(key_.data(), key_size_) & mask;; at = (at + 1) & mask) {
    const int d = slots_[at];
    if (d < 0 ||
        same_key(keys_.data() + static_cast<std::size_t>(d) * key_size_, key_.data(), key_size_)) {
      return at;
    }
  }
}

void PhenotypeIndex::grow() {
  // At most half the slots are used, so every probe ends at an empty one.
  slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), -1);
  const std::string kept = key_;
  for (int d = 0; d < held_; ++d) {
    key_.assign(keys_, static_cast<std::size_t>(d) * key_size_, key_size_);
    int& slot = slots_[slot_of_key()];
    if (slot < 0) {
      slot = d;
    }
  }
  key_ = kept;
}

int PhenotypeIndex::find(const common::RecordTypings& typings, int typing_count,
                         const common::DistinctPhenotypes& distinct, std::string_view key) {
  if (held_ != distinct.distinct_count()) {
    rebuild(distinct, typing_count, !key.empty());
  }
  if (slots_.empty()) {
    return -1;
  }
  if (key.empty()) {
    make_key(typings, typing_count, key_);
  } else {
    key_.assign(key);
  }
  if (key_.size() != key_size_) {
    return -1;  // no phenotype held yet, or another table's typings
  }
  return slots_[slot_of_key()];
}

void PhenotypeIndex::add(int d, const common::DistinctPhenotypes& distinct, int typing_count,
                         std::string_view key) {
  assert(d == held_);
  if (key.empty()) {
    make_key(distinct.distinct_typings[d], typing_count, key_);
  } else {
    key_.assign(key);
  }
  if (held_ == 0) {
    key_size_ = key_.size();
  }
  assert(key_.size() == key_size_);
  keys_.append(key_);
  ++held_;
  if (2 * static_cast<std::size_t>(held_) > slots_.size()) {
    grow();  // places every phenotype held, d included
    return;
  }
  // The first of equal phenotypes keeps the slot, as in a scan from the
  // start of the list.
  int& slot = slots_[slot_of_key()];
  if (slot < 0) {
    slot = d;
  }
}

std::optional<common::CodeString> known_code(const common::RecordTypings& typings,
                                             const common::SystemTables& systems) {
  common::CodeString code;
  for (int k = 0; k < systems.typing_count(); ++k) {
    const std::optional<char> letter =
        code_letter(typings[k], common::system_of_typing(k), systems);
    if (!letter) {
      return std::nullopt;
    }
    code[static_cast<std::size_t>(k)] = *letter;
  }
  return code;
}

void code_individual(int population, int record, const common::RecordTypings& record_typings,
                     const common::SystemTables& systems, int max_distinct_phenotypes,
                     common::DistinctPhenotypes& distinct, PhenotypeIndex& index,
                     const layout::Sinks& sinks, std::string_view key,
                     const common::CodeString* code) {
  assert(population >= 0 && population < common::count_of(distinct.phenotype_tally));
  const int typing_count = systems.typing_count();
  const int known = index.find(record_typings, typing_count, distinct, key);
  if (known >= 0) {
    ++distinct.phenotype_tally[population][known];
    return;
  }
  if (distinct.distinct_count() == max_distinct_phenotypes) {
    throw common::Stop{common::StopCode::too_many_phenotypes,
                       layout::record_text(population, record) +
                           " brings a 1001st distinct phenotype into one data set; at most 1000"
                           " are allowed in the observed data and in each permuted data set"
                           " (all populations together): analyse fewer populations or"
                           " individuals in one run, or pool rare alleles"};
  }
  // Only a new phenotype is checked against the allele lists; a match of an
  // earlier one has typings that were checked then.
  const int d = distinct.distinct_count();
  distinct.phenotype_code.push_back(
      code != nullptr ? *code
                      : phenotype_code_of(population, record, record_typings, systems, sinks));
  distinct.distinct_typings.push_back(record_typings);
  distinct.first_individual.push_back({population, record});
  for (std::vector<int>& tally : distinct.phenotype_tally) {
    tally.push_back(0);
  }
  ++distinct.phenotype_tally[population][d];
  index.add(d, distinct, typing_count, key);
}

}  // namespace coding
