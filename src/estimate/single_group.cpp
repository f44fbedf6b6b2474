#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PACKED_BLOCKS_AVAILABLE 1
#endif

#include "common/count.h"
#include "estimate/estimate_internal.h"

// The single-group pass. Its operations are those of the E-step and the
// likelihood of em.cpp, value for value and in the same order; only the
// order in which phenotypes are visited changes, and no result of one
// phenotype depends on another until the counts are summed, which happens
// afterwards in phenotype order.

namespace estimate {

namespace {

using Tables = SingleGroupTables;
constexpr int LANES = Tables::LANES;

// Phenotypes of more pairs run alone: a block would hold them for little gain.
constexpr int BLOCKED_UP_TO = 64;

[[nodiscard]] bool runs_in_block(int i, const EmTables& tables) {
  const int begin = tables.estep_begin[i];
  const int end = tables.estep_begin[i + 1];
  if (end - begin > BLOCKED_UP_TO ||
      end - begin != tables.likelihood_begin[i + 1] - tables.likelihood_begin[i]) {
    return false;  // too long, or an ordered pair repeats
  }
  int value_places = 0;  // values of the pairs, a pair of equal values counted once
  for (int e = begin; e < end; ++e) {
    value_places += tables.estep_first[e] == tables.estep_second[e] ? 1 : 2;
  }
  return value_places == tables.touched_begin[i + 1] - tables.touched_begin[i];
}

// Appends one block of the given phenotypes (at most LANES, all of n pairs);
// empty lanes carry value 0 and weight 0, and their results are never read.
void add_block(int n, std::span<const int> lanes, EmTables& tables) {
  Tables& single = tables.single;
  const int k = common::count_of(single.block_pair_count);
  const int begin = common::count_of(single.first);
  single.block_pair_count.push_back(n);
  single.block_begin.push_back(begin);
  const std::size_t size = static_cast<std::size_t>(begin) + static_cast<std::size_t>(n) * LANES;
  single.first.resize(size, 0);
  single.second.resize(size, 0);
  single.heterozygote.resize(size, 1.0);
  single.homozygote.resize(size, 1.0);
  single.block_weight.resize(static_cast<std::size_t>(k + 1) * LANES, 0.0);
  for (int l = 0; l < common::count_of(lanes); ++l) {
    const int i = lanes[l];
    single.block_weight[k * LANES + l] = tables.weight[i];
    single.likelihood_at[i] = k * LANES + l;
    for (int p = 0; p < n; ++p) {
      const int at = begin + p * LANES + l;
      const int a = tables.estep_first[tables.estep_begin[i] + p];
      const int b = tables.estep_second[tables.estep_begin[i] + p];
      single.first[at] = a;
      single.second[at] = b;
      single.heterozygote[at] = a != b ? HETEROZYGOTE_FACTOR : 1.0;
      single.homozygote[at] = a != b ? 1.0 : 2.0;
    }
  }
}

// The additions to the expected counts, in phenotype order: both values of
// a pair of a blocked phenotype get the pair's share, the second value of a
// pair of equal values left out (its share would be added twice). A
// phenotype alone adds its own shares when its turn comes: the additions
// come in segments, each followed by a phenotype alone (or by none, last).
void list_count_additions(EmTables& tables) {
  Tables& single = tables.single;
  single.count_value.clear();
  single.count_share.clear();
  single.segment_end.clear();
  single.segment_alone.clear();
  int n = 0;  // the next phenotype alone
  for (int i = 0; i < common::count_of(tables.active_phenotype); ++i) {
    if (n < common::count_of(single.alone) && single.alone[n] == i) {
      single.segment_end.push_back(common::count_of(single.count_value));
      single.segment_alone.push_back(n++);
      continue;
    }
    const int k = single.likelihood_at[i] / LANES;
    const int l = single.likelihood_at[i] % LANES;
    for (int p = 0; p < single.block_pair_count[k]; ++p) {
      const int at = single.block_begin[k] + p * LANES + l;
      single.count_value.push_back(single.first[at]);
      single.count_share.push_back(at);
      if (single.second[at] != single.first[at]) {
        single.count_value.push_back(single.second[at]);
        single.count_share.push_back(at);
      }
    }
  }
  single.segment_end.push_back(common::count_of(single.count_value));
  single.segment_alone.push_back(-1);
}

// One block, lane by lane: per pair m = f(a) x f(b) x (2 or 1; x 1 is
// exact), the total mass summed in slot order is the likelihood, and the
// pair's share is w x m (the E-step's +0 + w x m) or, for equal values,
// w x m x 2 (its w x m + w x m), divided by the total mass when the total
// reaches the floor, else 0 (no addition, as +0 leaves a count unchanged).
void run_block_lanes(int k, const double* frequency, double floor, Tables& single) {
  const int n = single.block_pair_count[k];
  const int begin = single.block_begin[k];
  for (int l = 0; l < LANES; ++l) {
    double total_mass = 0.0;
    for (int p = 0; p < n; ++p) {
      const int at = begin + p * LANES + l;
      const double m =
          frequency[single.first[at]] * frequency[single.second[at]] * single.heterozygote[at];
      single.share[at] = m;
      total_mass += m;
    }
    single.likelihood[k * LANES + l] = total_mass;
    const bool counted = (total_mass < 0.0 ? -total_mass : total_mass) >= floor;
    const double w = single.block_weight[k * LANES + l];
    for (int p = 0; p < n; ++p) {
      const int at = begin + p * LANES + l;
      single.share[at] =
          counted ? (w * single.share[at] * single.homozygote[at]) / total_mass : 0.0;
    }
  }
}

#if defined(PACKED_BLOCKS_AVAILABLE)
constexpr __mmask8 ALL_LANES = 0xFF;

// One block of n pairs per lane (Pairs = n, or 0 for n known only at run
// time, when the masses go through the share slots): the same operations
// on all eight lanes at once (AVX-512). IEEE products, sums and quotients
// are correctly rounded in every lane, so each lane's bits are those of
// run_block_lanes.
template <int Pairs>
__attribute__((target("avx512f"))) inline void run_block_packed(int k, const double* frequency,
                                                                __m512d floor, Tables& single) {
  const int n = Pairs > 0 ? Pairs : single.block_pair_count[k];
  const int begin = single.block_begin[k];
  const __m512d zero = _mm512_setzero_pd();
  constexpr int kept = std::max(Pairs, 1);
  __m512d mass[kept];  // the masses when n is known here
  __m512d total_mass = zero;
  for (int p = 0; p < n; ++p) {
    const int at = begin + p * LANES;
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&single.first[at]));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&single.second[at]));
    const __m512d m =
        _mm512_mul_pd(_mm512_mul_pd(_mm512_mask_i32gather_pd(zero, ALL_LANES, a, frequency, 8),
                                    _mm512_mask_i32gather_pd(zero, ALL_LANES, b, frequency, 8)),
                      _mm512_loadu_pd(&single.heterozygote[at]));
    if constexpr (Pairs > 0) {
      mass[static_cast<std::size_t>(p)] = m;
    } else {
      _mm512_storeu_pd(&single.share[at], m);
    }
    total_mass = _mm512_add_pd(total_mass, m);
  }
  _mm512_storeu_pd(&single.likelihood[static_cast<std::size_t>(k) * LANES], total_mass);
  const __mmask8 counted = _mm512_cmp_pd_mask(_mm512_abs_pd(total_mass), floor, _CMP_GE_OQ);
  const __m512d w = _mm512_loadu_pd(&single.block_weight[static_cast<std::size_t>(k) * LANES]);
  for (int p = 0; p < n; ++p) {
    const int at = begin + p * LANES;
    const __m512d m =
        Pairs > 0 ? mass[static_cast<std::size_t>(p)] : _mm512_loadu_pd(&single.share[at]);
    const __m512d wm = _mm512_mul_pd(_mm512_mul_pd(w, m), _mm512_loadu_pd(&single.homozygote[at]));
    _mm512_storeu_pd(&single.share[at], _mm512_maskz_div_pd(counted, wm, total_mass));
  }
}

// Every block; the pair counts of fully typed phenotypes are powers of 2
// (2^(h - 1) phases for h heterozygous systems), the usual ones with the
// masses kept in registers.
__attribute__((target("avx512f"))) void run_blocks_packed(const double* frequency, double floor,
                                                          Tables& single) {
  const __m512d floor_vector = _mm512_set1_pd(floor);
  for (int k = 0; k < common::count_of(single.block_pair_count); ++k) {
    switch (single.block_pair_count[k]) {
      case 1:
        run_block_packed<1>(k, frequency, floor_vector, single);
        break;
      case 2:
        run_block_packed<2>(k, frequency, floor_vector, single);
        break;
      case 4:
        run_block_packed<4>(k, frequency, floor_vector, single);
        break;
      case 8:
        run_block_packed<8>(k, frequency, floor_vector, single);
        break;
      default:
        run_block_packed<0>(k, frequency, floor_vector, single);
        break;
    }
  }
}

// ln x = e ln 2 + ln m for x = m 2^e, m in [sqrt(1/2), sqrt(2)); ln m =
// 2 atanh(s) with s = (m - 1) / (m + 1), |s| < 0.1716, from its series to
// s^15 / 15: the series' remainder is under 2e-14 and the roundings, of
// values under 745, under 3e-13, well inside FAST_LOG_ERROR.
__attribute__((target("avx512f"))) inline __m512d fast_log_packed(__m512d value) {
  const __m512d zero = _mm512_setzero_pd();
  __m512d exponent = _mm512_mask_getexp_pd(zero, ALL_LANES, value);
  __m512d mantissa =
      _mm512_mask_getmant_pd(zero, ALL_LANES, value, _MM_MANT_NORM_1_2, _MM_MANT_SIGN_src);
  const __mmask8 high =
      _mm512_cmp_pd_mask(mantissa, _mm512_set1_pd(1.4142135623730951), _CMP_GT_OQ);
  mantissa = _mm512_mask_mul_pd(mantissa, high, mantissa, _mm512_set1_pd(0.5));
  exponent = _mm512_mask_add_pd(exponent, high, exponent, _mm512_set1_pd(1.0));
  const __m512d one = _mm512_set1_pd(1.0);
  const __m512d s = _mm512_div_pd(_mm512_sub_pd(mantissa, one), _mm512_add_pd(mantissa, one));
  const __m512d z = _mm512_mul_pd(s, s);
  __m512d series = _mm512_set1_pd(1.0 / 15.0);
  series = _mm512_add_pd(_mm512_mul_pd(series, z), _mm512_set1_pd(1.0 / 13.0));
  series = _mm512_add_pd(_mm512_mul_pd(series, z), _mm512_set1_pd(1.0 / 11.0));
  series = _mm512_add_pd(_mm512_mul_pd(series, z), _mm512_set1_pd(1.0 / 9.0));
  series = _mm512_add_pd(_mm512_mul_pd(series, z), _mm512_set1_pd(1.0 / 7.0));
  series = _mm512_add_pd(_mm512_mul_pd(series, z), _mm512_set1_pd(1.0 / 5.0));
  series = _mm512_add_pd(_mm512_mul_pd(series, z), _mm512_set1_pd(1.0 / 3.0));
  series = _mm512_add_pd(_mm512_mul_pd(series, z), one);
  const __m512d ln_mantissa = _mm512_mul_pd(_mm512_add_pd(s, s), series);
  return _mm512_add_pd(_mm512_mul_pd(exponent, _mm512_set1_pd(0.6931471805599453)), ln_mantissa);
}

__attribute__((target("avx512f"))) void fast_log8_packed(const double* x, double* out) {
  _mm512_storeu_pd(out, fast_log_packed(_mm512_loadu_pd(x)));
}

// The sums of approximate_log_likelihood over the places in eights: of the
// terms w ln(L + floor), of their magnitudes and of the weights. False where
// a value lies outside the fast logarithm's range.
__attribute__((target("avx512f"))) bool sum_terms_packed(const Tables& single, double log_floor,
                                                         std::array<double, 3>& sums) {
  const __m512d floor = _mm512_set1_pd(log_floor);
  const __m512d lowest = _mm512_set1_pd(FAST_LOG_LOWEST);
  const __m512d highest = _mm512_set1_pd(std::numeric_limits<double>::max());
  __m512d sum = _mm512_setzero_pd();
  __m512d magnitude_sum = _mm512_setzero_pd();
  __m512d weight_sum = _mm512_setzero_pd();
  __mmask8 outside = 0;
  for (std::size_t from = 0; from < single.likelihood.size(); from += LANES) {
    const __m512d x = _mm512_add_pd(_mm512_loadu_pd(&single.likelihood[from]), floor);
    outside |= static_cast<__mmask8>(
        ~(_mm512_cmp_pd_mask(x, lowest, _CMP_GE_OQ) & _mm512_cmp_pd_mask(x, highest, _CMP_LE_OQ)));
    const __m512d w = _mm512_loadu_pd(&single.place_weight[from]);
    const __m512d term = _mm512_mul_pd(w, fast_log_packed(x));
    sum = _mm512_add_pd(sum, term);
    magnitude_sum = _mm512_add_pd(magnitude_sum, _mm512_abs_pd(term));
    weight_sum = _mm512_add_pd(weight_sum, w);
  }
  std::array<std::array<double, LANES>, 3> lanes{};
  _mm512_storeu_pd(lanes[0].data(), sum);
  _mm512_storeu_pd(lanes[1].data(), magnitude_sum);
  _mm512_storeu_pd(lanes[2].data(), weight_sum);
  for (int k = 0; k < 3; ++k) {
    sums[k] = 0.0;
    for (const double lane : lanes[k]) {
      sums[k] += lane;
    }
  }
  return outside == 0;
}
#endif

// A phenotype alone, as the E-step runs it, its shares added to the counts;
// with a repeated ordered pair its likelihood is summed over all its pairs.
void run_alone(int n, const std::vector<double>& frequency, EmTables& tables) {
  Tables& single = tables.single;
  const int i = single.alone[n];
  const double total_mass = expect_phenotype(0, i, frequency, tables);
  const bool repeats = tables.estep_begin[i + 1] - tables.estep_begin[i] !=
                       tables.likelihood_begin[i + 1] - tables.likelihood_begin[i];
  single.likelihood[single.likelihood_at[i]] =
      repeats ? phenotype_likelihood(i, 1, tables) : total_mass;
}

[[nodiscard]] bool processor_has_packed_blocks() {
#if defined(PACKED_BLOCKS_AVAILABLE)
  return __builtin_cpu_supports("avx512f");
#else
  return false;
#endif
}

}  // namespace

void prepare_single_group(EmTables& tables) {
  Tables& single = tables.single;
  const int active_total = common::count_of(tables.active_phenotype);
  single.block_pair_count.clear();
  single.block_begin.clear();
  single.first.clear();
  single.second.clear();
  single.heterozygote.clear();
  single.homozygote.clear();
  single.block_weight.clear();
  single.alone.clear();
  single.likelihood_at.assign(static_cast<std::size_t>(active_total), -1);

  // Blocked phenotypes by pair count (a counting sort: each count's in
  // phenotype order), then cut into blocks.
  std::vector<int>& pairs_of = single.pairs_of;
  std::vector<int>& sorted = single.sorted;
  pairs_of.assign(static_cast<std::size_t>(active_total), 0);
  std::array<int, BLOCKED_UP_TO + 2> start{};
  for (int i = 0; i < active_total; ++i) {
    if (runs_in_block(i, tables)) {
      pairs_of[i] = tables.estep_begin[i + 1] - tables.estep_begin[i];
      ++start[pairs_of[i] + 1];
    } else {
      single.alone.push_back(i);
    }
  }
  for (int n = 1; n <= BLOCKED_UP_TO + 1; ++n) {
    start[n] += start[n - 1];
  }
  sorted.assign(static_cast<std::size_t>(start[BLOCKED_UP_TO + 1]), -1);
  std::array<int, BLOCKED_UP_TO + 2> next = start;
  for (int i = 0; i < active_total; ++i) {
    if (pairs_of[i] > 0) {
      sorted[next[pairs_of[i]]++] = i;
    }
  }
  for (int n = 1; n <= BLOCKED_UP_TO; ++n) {
    for (int from = start[n]; from < start[n + 1]; from += LANES) {
      const int to = std::min(start[n + 1], from + LANES);
      add_block(n, std::span<const int>(sorted.data() + from, static_cast<std::size_t>(to - from)),
                tables);
    }
  }
  const int block_lanes = common::count_of(single.block_weight);
  for (int n = 0; n < common::count_of(single.alone); ++n) {
    single.likelihood_at[single.alone[n]] = block_lanes + n;
  }
  single.share.assign(single.first.size(), 0.0);
  // The likelihood places in whole eights, the last ones likelihood 1 and
  // weight 0, for the packed logarithm.
  const std::size_t places =
      (static_cast<std::size_t>(block_lanes) + single.alone.size() + LANES - 1) / LANES * LANES;
  single.likelihood.assign(places, 1.0);
  single.previous_likelihood.assign(places, 1.0);
  single.place_weight.assign(places, 0.0);
  for (int i = 0; i < active_total; ++i) {
    single.place_weight[single.likelihood_at[i]] = tables.weight[i];
  }
  list_count_additions(tables);
}

void single_group_pass(const std::vector<double>& frequency, EmTables& tables) {
  Tables& single = tables.single;
  std::swap(single.likelihood, single.previous_likelihood);
  const double floor = tables.estep_floor[0];
  static_assert(LANES == 8, "a packed block is eight doubles");
  const bool packed = tables.packed && processor_has_packed_blocks();
#if defined(PACKED_BLOCKS_AVAILABLE)
  if (packed) {
    run_blocks_packed(frequency.data(), floor, single);
  }
#endif
  if (!packed) {
    for (int k = 0; k < common::count_of(single.block_pair_count); ++k) {
      run_block_lanes(k, frequency.data(), floor, single);
    }
  }
  std::fill(tables.expected_count.begin(), tables.expected_count.end(), 0.0);
  double* count = tables.expected_count.data();
  int j = 0;
  for (std::size_t segment = 0; segment < single.segment_end.size(); ++segment) {
    const int end = single.segment_end[segment];
    const int* value = single.count_value.data();
    const int* place = single.count_share.data();
    const double* share = single.share.data();
    // Four additions at a time where their counts differ, so that none of
    // the four loads waits for another's store; the same additions, each
    // count's in the same order.
    for (; j + 4 <= end; j += 4) {
      const int v0 = value[j];
      const int v1 = value[j + 1];
      const int v2 = value[j + 2];
      const int v3 = value[j + 3];
      if (v0 != v1 && v0 != v2 && v0 != v3 && v1 != v2 && v1 != v3 && v2 != v3) {
        const double c0 = count[v0] + share[place[j]];
        const double c1 = count[v1] + share[place[j + 1]];
        const double c2 = count[v2] + share[place[j + 2]];
        const double c3 = count[v3] + share[place[j + 3]];
        count[v0] = c0;
        count[v1] = c1;
        count[v2] = c2;
        count[v3] = c3;
      } else {
        for (int k = j; k < j + 4; ++k) {
          count[value[k]] += share[place[k]];
        }
      }
    }
    for (; j < end; ++j) {
      count[value[j]] += share[place[j]];
    }
    if (single.segment_alone[segment] >= 0) {
      run_alone(single.segment_alone[segment], frequency, tables);
    }
  }
}

double exact_log_likelihood(const std::vector<double>& likelihood, double log_floor,
                            const EmTables& tables) {
  double sum = 0.0;
  for (int i = 0; i < common::count_of(tables.active_phenotype); ++i) {
    sum += tables.weight[i] * std::log(likelihood[tables.single.likelihood_at[i]] + log_floor);
  }
  return sum;
}

BoundedLogLikelihood approximate_log_likelihood(const std::vector<double>& likelihood,
                                                double log_floor, const EmTables& tables) {
  std::array<double, 3> sums{};  // of the terms, of their magnitudes, of the weights
  bool summed = false;
#if defined(PACKED_BLOCKS_AVAILABLE)
  if (tables.packed && processor_has_packed_blocks() && &likelihood == &tables.single.likelihood) {
    summed = sum_terms_packed(tables.single, log_floor, sums);
  }
#endif
  if (!summed) {
    return {exact_log_likelihood(likelihood, log_floor, tables), 0.0};
  }
  // |approximate - exact| is at most the logarithms' errors (FAST_LOG_ERROR
  // here, one unit in the last place of the library's, under 2u|log|) plus
  // the rounding of both sums of n terms, each under (n + 1)u times the sum
  // of the terms' magnitudes; doubled, against the roundings of the bound.
  constexpr double u = std::numeric_limits<double>::epsilon() / 2.0;
  const auto n = static_cast<double>(likelihood.size());
  const double weight_sum = sums[2];
  const double terms = sums[1] + weight_sum * FAST_LOG_ERROR;
  const double bound = weight_sum * FAST_LOG_ERROR + (2.0 * u + 2.0 * (n + 1.0) * u) * terms;
  return {sums[0], 2.0 * bound};
}

bool fast_log8(const double* x, double* out, const EmTables& tables) {
#if defined(PACKED_BLOCKS_AVAILABLE)
  if (tables.packed && processor_has_packed_blocks()) {
    fast_log8_packed(x, out);
    return true;
  }
#endif
  (void)x;
  (void)out;
  (void)tables;
  return false;
}

}  // namespace estimate
