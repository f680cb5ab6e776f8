// Where each (plot, tree) stands last in the photo-tree map: a table sorted
// by the key and searched by halving, so that no choice of keys can make
// the look-ups slow (a hash table can be driven to put every key in one
// bucket).
#pragma once

#include <cstdint>
#include <vector>

#include "data/tables.h"

namespace treetri {

class PlotTreeIndex {
 public:
  explicit PlotTreeIndex(const Table<PhotoTree>& map);
  // The index in the map of the last record with this key; 0 when none.
  int Find(std::int32_t plot, std::int32_t tree) const;
  // Key comparisons made so far (building and looking up).
  long long Comparisons() const { return comparisons_; }

 private:
  struct Entry {
    std::int32_t plot, tree;
    int index;
  };
  bool Less(const Entry& a, const Entry& b) const;
  std::vector<Entry> entries_;
  mutable long long comparisons_ = 0;
};

}  // namespace treetri
