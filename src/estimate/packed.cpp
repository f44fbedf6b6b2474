#include <algorithm>
#include <array>
#include <cmath>

#include "common/count.h"
#include "estimate/estimate_internal.h"
#include "estimate/packed_internal.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

// The packed arithmetic of the single-group pass: eight phenotypes at once
// as AVX-512 arithmetic, lane by lane the bits of the plain pass. Built only
// for x86-64 with GCC-compatible compilers; elsewhere the entry points say
// that there is nothing packed and the plain pass runs.

namespace estimate {

#if defined(__x86_64__) && defined(__GNUC__)

namespace {

using Tables = SingleGroupTables;
constexpr int LANES = Tables::LANES;

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

}  // namespace

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
namespace {

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

}  // namespace

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

bool packed_blocks_available() { return __builtin_cpu_supports("avx512f"); }

#else

bool packed_blocks_available() { return false; }
void run_blocks_packed(const double* /*frequency*/, double /*floor*/,
                       SingleGroupTables& /*single*/) {}
void fast_log8_packed(const double* /*x*/, double* /*out*/) {}
bool sum_terms_packed(const SingleGroupTables& /*single*/, double /*log_floor*/,
                      std::array<double, 3>& /*sums*/) {
  return false;
}

#endif

}  // namespace estimate
