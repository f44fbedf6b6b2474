#pragma once

// Limits of the data and the run constants. Limits marked "checked" are
// enforced with a stop code where the data is read; the others document the
// sizes the original tables had and are not enforced (tables are sized to the
// data).

namespace common {

inline constexpr int MIN_SYSTEMS = 2;                 // checked, stop code 201
inline constexpr int MAX_SYSTEMS = 10;                // checked, stop code 201
inline constexpr int MAX_ALLELES = 14;                // checked, stop code 202
inline constexpr int MAX_NAME_WIDTH = 5;              // checked, stop code 203
inline constexpr int MAX_POPULATIONS = 20;            // a warning; later populations dropped
inline constexpr int MAX_DISTINCT_PHENOTYPES = 1000;  // checked, stop code 105
inline constexpr int MAX_GROUPS = 10;                 // groups per grouping, systems per group
inline constexpr int MAX_HAPLOTYPES = 800;            // values per group (checked with 206)
inline constexpr int MAX_TYPINGS = 2 * MAX_SYSTEMS;   // typings in one phenotype record

inline constexpr int PERMUTATION_COUNT =
    1000;                                      // permuted data sets; divisor of p-value and moments
inline constexpr int MAX_TRIES = 10;           // attempts at one permuted data set before 7070
inline constexpr int EM_MAX_ITERATIONS = 200;  // iterations are numbered 2 to 200

inline constexpr char MISSING_CODE = '?';     // code letter of a missing typing
inline constexpr char EMPTY_PART_MARK = '^';  // marks an empty part of a split code string

}  // namespace common
