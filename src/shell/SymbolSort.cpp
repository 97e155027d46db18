#include "shell/SymbolSort.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace velmora {

namespace {

inline unsigned char FoldCase(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Minimum and maximum rank over ranges of rows, with the two searches the
// partition scans need.
class RankTree {
 public:
  explicit RankTree(std::span<const uint32_t> ranks) {
    n_ = static_cast<int>(ranks.size());
    size_ = 1;
    while (size_ < n_) size_ <<= 1;
    min_.assign(2 * static_cast<size_t>(size_), UINT32_MAX);
    max_.assign(2 * static_cast<size_t>(size_), 0);
    for (int k = 0; k < n_; ++k) min_[size_ + k] = max_[size_ + k] = ranks[k];
    for (int node = size_ - 1; node >= 1; --node) Pull(node);
  }

  void Set(int index, uint32_t rank) {
    int node = size_ + index;
    min_[node] = max_[node] = rank;
    for (node >>= 1; node >= 1; node >>= 1) Pull(node);
  }

  // Smallest index in [l, r] whose rank is above p, or -1.
  int FirstGreater(int l, int r, uint32_t p) const {
    if (l > r) return -1;
    return FirstGreater(1, 0, size_ - 1, l, r, p);
  }
  // Largest index in [l, r] whose rank is below p, or -1.
  int LastLess(int l, int r, uint32_t p) const {
    if (l > r) return -1;
    return LastLess(1, 0, size_ - 1, l, r, p);
  }

 private:
  void Pull(int node) {
    min_[node] = std::min(min_[2 * node], min_[2 * node + 1]);
    max_[node] = std::max(max_[2 * node], max_[2 * node + 1]);
  }

  int FirstGreater(int node, int nl, int nr, int l, int r, uint32_t p) const {
    if (nr < l || nl > r || max_[node] <= p) return -1;
    if (nl == nr) return nl;
    const int mid = (nl + nr) / 2;
    const int left = FirstGreater(2 * node, nl, mid, l, r, p);
    if (left >= 0) return left;
    return FirstGreater(2 * node + 1, mid + 1, nr, l, r, p);
  }

  int LastLess(int node, int nl, int nr, int l, int r, uint32_t p) const {
    if (nr < l || nl > r || min_[node] >= p) return -1;
    if (nl == nr) return nl;
    const int mid = (nl + nr) / 2;
    const int right = LastLess(2 * node + 1, mid + 1, nr, l, r, p);
    if (right >= 0) return right;
    return LastLess(2 * node, nl, mid, l, r, p);
  }

  int n_ = 0;
  int size_ = 1;
  std::vector<uint32_t> min_, max_;
};

}  // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t k = 0; k < n; ++k) {
    const unsigned char x = FoldCase(static_cast<unsigned char>(a[k]));
    const unsigned char y = FoldCase(static_cast<unsigned char>(b[k]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::vector<uint32_t> NoCaseRanks(std::span<const std::string> names) {
  const size_t n = names.size();
  std::vector<uint32_t> byName(n);
  std::iota(byName.begin(), byName.end(), 0u);
  // Folded copies make the many comparisons of the sort plain byte compares.
  std::vector<std::string> folded(n);
  for (size_t k = 0; k < n; ++k) {
    folded[k].resize(names[k].size());
    std::transform(names[k].begin(), names[k].end(), folded[k].begin(), [](char c) {
      return static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
    });
  }
  auto less = [&](uint32_t x, uint32_t y) {
    // std::string compares through char_traits<char>, which orders bytes as
    // unsigned, the same as CompareNoCase.
    return folded[x] < folded[y];
  };
  std::sort(byName.begin(), byName.end(), less);
  std::vector<uint32_t> ranks(n);
  uint32_t rank = 0;
  for (size_t k = 0; k < n; ++k) {
    if (k > 0 && folded[byName[k - 1]] != folded[byName[k]]) ++rank;
    ranks[byName[k]] = rank;
  }
  return ranks;
}

std::vector<uint32_t> PaneSortOrder(std::span<const uint32_t> ranksIn) {
  const int n = static_cast<int>(ranksIn.size());
  std::vector<uint32_t> rows(ranksIn.size());
  std::iota(rows.begin(), rows.end(), 0u);
  if (n < 2) return rows;
  std::vector<uint32_t> ranks(ranksIn.begin(), ranksIn.end());
  RankTree tree(ranks);
  auto swapRows = [&](int a, int b) {
    if (a == b) return;
    std::swap(ranks[a], ranks[b]);
    std::swap(rows[a], rows[b]);
    tree.Set(a, ranks[a]);
    tree.Set(b, ranks[b]);
  };

  // The ranges are disjoint, so the order in which they are taken does not
  // change the result; a stack keeps the depth off the call stack.
  std::vector<std::pair<int, int>> pending{{0, n - 1}};
  while (!pending.empty()) {
    const auto [lo, hi] = pending.back();
    pending.pop_back();
    if (lo >= hi) continue;
    const uint32_t p = ranks[lo];
    int i = lo;
    int j = hi + 1;
    for (;;) {
      // The left scan stops on the first row above the pivot, else at hi.
      const int g = tree.FirstGreater(i + 1, hi, p);
      i = g < 0 ? hi : g;
      // The right scan stops on the last row below the pivot, else at lo.
      const int l = tree.LastLess(lo, j - 1, p);
      j = l < 0 ? lo : l;
      if (i >= j) break;
      swapRows(i, j);
    }
    swapRows(lo, j);
    pending.emplace_back(lo, j - 1);
    pending.emplace_back(j + 1, hi);
  }
  return rows;
}

std::vector<uint32_t> PaneSortOrder(std::span<const std::string> names) {
  const std::vector<uint32_t> ranks = NoCaseRanks(names);
  return PaneSortOrder(ranks);
}

std::vector<uint32_t> PaneSortOrderReference(std::span<const uint32_t> ranksIn) {
  const int n = static_cast<int>(ranksIn.size());
  std::vector<uint32_t> rows(ranksIn.size());
  std::iota(rows.begin(), rows.end(), 0u);
  std::vector<uint32_t> a(ranksIn.begin(), ranksIn.end());
  auto swapRows = [&](int x, int y) {
    std::swap(a[x], a[y]);
    std::swap(rows[x], rows[y]);
  };
  std::vector<std::pair<int, int>> pending;
  if (n > 0) pending.emplace_back(0, n - 1);
  while (!pending.empty()) {
    const auto [lo, hi] = pending.back();
    pending.pop_back();
    if (lo >= hi) continue;
    const uint32_t p = a[lo];
    int i = lo;
    int j = hi + 1;
    for (;;) {
      do {
        ++i;
      } while (!(a[i] > p) && i < hi);
      do {
        --j;
      } while (!(a[j] < p) && j > lo);
      if (i < j) {
        swapRows(i, j);
        continue;
      }
      break;
    }
    swapRows(lo, j);
    pending.emplace_back(lo, j - 1);
    pending.emplace_back(j + 1, hi);
  }
  return rows;
}

}  // namespace velmora
