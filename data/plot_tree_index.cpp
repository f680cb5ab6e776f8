#include "data/plot_tree_index.h"

#include <algorithm>

namespace treetri {

bool PlotTreeIndex::Less(const Entry& a, const Entry& b) const {
  ++comparisons_;
  return a.plot != b.plot ? a.plot < b.plot : a.tree < b.tree;
}

PlotTreeIndex::PlotTreeIndex(const Table<PhotoTree>& map) {
  entries_.reserve(static_cast<size_t>(map.Size()));
  for (int i = 1; i <= map.Size(); ++i) entries_.push_back({map[i].Plot, map[i].Tree, i});
  auto less = [this](const Entry& a, const Entry& b) { return Less(a, b); };
  // Stable: of a repeated key the last record stays last, and is the one kept.
  std::stable_sort(entries_.begin(), entries_.end(), less);
  auto kept = entries_.begin();
  for (auto e = entries_.begin(); e != entries_.end(); ++e) {
    if (kept != entries_.begin() && !Less(*(kept - 1), *e))
      *(kept - 1) = *e;
    else
      *kept++ = *e;
  }
  entries_.erase(kept, entries_.end());
}

int PlotTreeIndex::Find(std::int32_t plot, std::int32_t tree) const {
  const Entry key{plot, tree, 0};
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                             [this](const Entry& a, const Entry& b) { return Less(a, b); });
  if (it == entries_.end() || Less(key, *it)) return 0;
  return it->index;
}

}  // namespace treetri
