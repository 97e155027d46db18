// Row order of the symbol pane.
//
// The pane has always ordered its rows with one particular quicksort: the
// first row of a range is the pivot, a left scan stops on a row greater than
// the pivot (or at the end of the range), a right scan stops on a row less than
// it (or at the start), stopped pairs are swapped, and the pivot finally
// changes place with the right scan's row. Names compare without regard to
// ASCII letter case, so rows such as "Alpha" and "alpha" are equal and the
// algorithm alone decides where they land. Users know that order, so it is
// kept exactly.
//
// Run as written, that quicksort takes quadratic time on sorted input and on
// many equal names. PaneSortOrder produces the identical permutation in
// O(n log^2 n): it replays the same partitions, but each scan jumps straight to
// the row where it would stop with a min/max tree over the rows' ranks, and the
// smaller side of every partition bounds the swaps.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// <0, 0, >0 like strcmp, with ASCII 'A'..'Z' compared as 'a'..'z' and bytes
// taken as unsigned.
int CompareNoCase(std::string_view a, std::string_view b);

// Dense ranks of the names under CompareNoCase: equal names share a rank and
// a smaller rank means an earlier name.
std::vector<uint32_t> NoCaseRanks(std::span<const std::string> names);

// The pane's permutation of rows with these ranks: row k of the sorted pane is
// input row result[k].
std::vector<uint32_t> PaneSortOrder(std::span<const uint32_t> ranks);
std::vector<uint32_t> PaneSortOrder(std::span<const std::string> names);

// The quicksort run step by step as described above; quadratic in the bad
// cases, kept as the reference the fast order is checked against.
std::vector<uint32_t> PaneSortOrderReference(std::span<const uint32_t> ranks);

}  // namespace velmora
