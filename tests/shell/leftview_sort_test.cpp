// The symbol pane's row order: the fast order against the step-by-step
// quicksort on random and adversarial inputs, and the case-blind comparison.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "shell/SymbolSort.h"

namespace velmora {
namespace {

std::vector<std::string> Apply(const std::vector<std::string>& names,
                               const std::vector<uint32_t>& order) {
  std::vector<std::string> out;
  for (uint32_t k : order) out.push_back(names[k]);
  return out;
}

void ExpectSameAsReference(const std::vector<uint32_t>& ranks, const char* what) {
  const std::vector<uint32_t> fast = PaneSortOrder(ranks);
  const std::vector<uint32_t> slow = PaneSortOrderReference(ranks);
  ASSERT_EQ(fast, slow) << what << " (" << ranks.size() << " rows)";
  // The reference itself must sort and must be a permutation.
  std::vector<uint32_t> all(ranks.size());
  std::iota(all.begin(), all.end(), 0u);
  ASSERT_TRUE(std::is_permutation(slow.begin(), slow.end(), all.begin(), all.end())) << what;
  ASSERT_TRUE(std::is_sorted(slow.begin(), slow.end(), [&](uint32_t a, uint32_t b) {
    return ranks[a] < ranks[b];
  })) << what;
}

TEST(SymbolSort, CaseBlindComparisonFoldsOnlyAsciiLettersAndTakesBytesUnsigned) {
  EXPECT_EQ(CompareNoCase("Alpha", "alpha"), 0);
  EXPECT_LT(CompareNoCase("alpha", "alpha2"), 0);
  EXPECT_GT(CompareNoCase("beta", "Alpha2"), 0);
  // '_' lies between the upper- and lower-case letters: folding to lower case
  // puts it before every letter.
  EXPECT_LT(CompareNoCase("_x", "A"), 0);
  EXPECT_GT(CompareNoCase("Z", "_"), 0);
  EXPECT_LT(CompareNoCase("[", "Z"), 0);  // plain bytes would put "[" after "Z"
  // Bytes above 0x7F sort after ASCII and are not folded.
  EXPECT_GT(CompareNoCase("\xC9t", "zz"), 0);
  EXPECT_NE(CompareNoCase("\xC9", "\xE9"), 0);
  EXPECT_LT(CompareNoCase("", "a"), 0);
}

TEST(SymbolSort, PaneOrderOfSmallExamples) {
  // Equal names do not keep their input order: the pivot "b" changes place
  // with "a", and the scans pass over "B".
  const std::vector<std::string> equal = {"b", "B", "a"};
  EXPECT_EQ(Apply(equal, PaneSortOrder(equal)), (std::vector<std::string>{"a", "B", "b"}));
  EXPECT_TRUE(PaneSortOrder(std::vector<std::string>{}).empty());
  EXPECT_EQ(PaneSortOrder(std::vector<std::string>{"x"}), (std::vector<uint32_t>{0}));
}

TEST(SymbolSort, FastOrderEqualsTheQuicksortOnRandomInputs) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 400; ++round) {
    const size_t n = 1 + rng() % 300;
    // From all-distinct down to two values: many equal names.
    const uint32_t distinct = 1 + rng() % static_cast<uint32_t>(n + 1);
    std::vector<uint32_t> ranks(n);
    for (uint32_t& r : ranks) r = rng() % distinct;
    ExpectSameAsReference(ranks, "random");
  }
}

TEST(SymbolSort, FastOrderEqualsTheQuicksortOnAdversarialInputs) {
  using Pattern = uint32_t (*)(size_t k, size_t n);
  const std::pair<const char*, Pattern> patterns[] = {
      {"ascending", [](size_t k, size_t) { return uint32_t(k); }},
      {"descending", [](size_t k, size_t n) { return uint32_t(n - k); }},
      {"all equal", [](size_t, size_t) { return 3u; }},
      {"organ pipe", [](size_t k, size_t n) { return uint32_t(std::min(k, n - 1 - k)); }},
      {"alternating", [](size_t k, size_t) { return uint32_t(k % 2); }},
      {"descending runs of equals", [](size_t k, size_t n) { return uint32_t((n - k) / 4); }},
      {"ascending, ends swapped",
       [](size_t k, size_t n) {
         return uint32_t(k == 0 ? n - 1 : k == n - 1 ? 0 : k);
       }},
      {"ascending pairs swapped",
       [](size_t k, size_t n) { return uint32_t(k + 1 == n && n % 2 ? k : k ^ 1); }},
  };
  for (size_t n : {2u, 3u, 5u, 16u, 257u, 1500u}) {
    std::vector<uint32_t> r(n);
    for (const auto& [name, pattern] : patterns) {
      for (size_t k = 0; k < n; ++k) r[k] = pattern(k, n);
      ExpectSameAsReference(r, name);
    }
    std::mt19937 rng(static_cast<uint32_t>(n));
    std::iota(r.begin(), r.end(), 0u);
    for (size_t k = 0; k < n / 20 + 1; ++k) std::swap(r[rng() % n], r[rng() % n]);
    ExpectSameAsReference(r, "nearly sorted");
  }
}

TEST(SymbolSort, NamesWithCaseVariantsLandWhereTheQuicksortPutsThem) {
  std::mt19937 rng(99);
  const std::vector<std::string> stems = {"counter", "_main", "x", "buffer", "Table", "c_int00"};
  for (int round = 0; round < 50; ++round) {
    std::vector<std::string> names;
    const size_t n = 2 + rng() % 200;
    for (size_t k = 0; k < n; ++k) {
      std::string s = stems[rng() % stems.size()];
      for (char& c : s)
        if (rng() % 3 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (rng() % 4 == 0) s += std::to_string(rng() % 3);
      names.push_back(s);
    }
    const std::vector<uint32_t> ranks = NoCaseRanks(names);
    const std::vector<uint32_t> order = PaneSortOrder(names);
    ASSERT_EQ(order, PaneSortOrderReference(ranks));
    const std::vector<std::string> shown = Apply(names, order);
    for (size_t k = 1; k < shown.size(); ++k) ASSERT_LE(CompareNoCase(shown[k - 1], shown[k]), 0);
  }
}

}  // namespace
}  // namespace velmora
