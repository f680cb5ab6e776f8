// The map trees of one plot in a static 2-d tree, and the map trees of every
// plot. Every per-plot lookup of the quality layer, the wrong-tree search
// and the plot map goes through it, so its cost does not grow with trees
// crowded at one spot: a query visits the nodes whose box can still hold an
// answer and stops when it has enough.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "data/tables.h"

namespace treetri::quality {

struct MapTree {
  int tree = 0;
  double x = 0, y = 0;
};

// An axis-parallel box; empty when lo > hi.
struct IndexBox {
  double xlo, ylo, xhi, yhi;
};

// What a ranked query asks: the score of a point (smaller is better,
// infinity: not wanted) and a lower bound of the score over a box.
struct Ranking {
  std::function<double(double x, double y)> score;
  std::function<double(const IndexBox& box)> bound;
};

class PlotIndex {
 public:
  // The trees in map order; a tree number given twice keeps the
  // coordinates of its last record, at the place of its first.
  explicit PlotIndex(const std::vector<MapTree>& trees);

  // The trees in map order.
  const std::vector<MapTree>& Trees() const { return trees_; }
  // The tree of that number, or nullptr.
  const MapTree* Find(int tree) const;

  // Puts the trees within `radius` of (x, y) into `found`, in map order, and
  // returns true; returns false as soon as more than `limit` are found.
  bool Within(double x, double y, double radius, size_t limit,
              std::vector<const MapTree*>& found) const;

  // The at most k trees with the smallest finite score, best first. Of
  // trees with equal scores (crowded at one spot) those kept are fixed by
  // the map, not by chance.
  std::vector<const MapTree*> Best(const Ranking& ranking, size_t k) const;

  // Nodes visited by the queries so far (an operation count for tests and
  // benchmarks; not thread-safe: a plot's index is queried by one thread at
  // a time, the plot network's threads each taking whole plots, and the
  // empty index that plots without map trees share counts no visit).
  std::uint64_t Visits() const { return visits_; }

 private:
  struct Node {
    int first, last;  // range of order_ it holds
    int split;        // 0: x, 1: y, -1: leaf
    double at;        // split coordinate
    int left, right;  // child nodes
    IndexBox box;     // the box of its points
  };
  int Build(int first, int last);

  std::vector<MapTree> trees_;
  std::unordered_map<int, int> byNumber_;
  std::vector<int> order_;  // tree positions, grouped by node
  std::vector<Node> nodes_;
  mutable std::uint64_t visits_ = 0;
};

// Distances from a point to a box and a segment to a box, for rankings.
double PointBoxDistance(double x, double y, const IndexBox& b);
double SegmentBoxDistance(double x0, double y0, double x1, double y1, const IndexBox& b);
double PointSegmentDistance(double x, double y, double x0, double y0, double x1, double y1);

// Rankings by the distance to a point, to a segment, to a circle; and one
// that leaves out what lies farther than `radius` from (cx, cy).
Ranking NearPoint(double px, double py);
Ranking NearSegment(double x0, double y0, double x1, double y1);
Ranking NearCircle(double cx, double cy, double r);
Ranking InsideDisc(Ranking ranking, double cx, double cy, double radius);

// The map trees of every plot, built once per run from the map table. A tree
// number that occurs twice in a plot has the coordinates of its last record,
// as the sighting reader attaches them.
class PlotMaps {
 public:
  explicit PlotMaps(const Table<PhotoTree>& photoTrees);
  // The index of a plot (an empty one when the plot has no map tree).
  const std::shared_ptr<const PlotIndex>& Plot(int plot) const;
  // The map trees of a plot in map order (empty when the plot has none).
  const std::vector<MapTree>& Trees(int plot) const { return Plot(plot)->Trees(); }
  // The tree of a plot, or nullptr.
  const MapTree* Find(int plot, int tree) const { return Plot(plot)->Find(tree); }

 private:
  std::unordered_map<int, std::shared_ptr<const PlotIndex>> plots_;
};

}  // namespace treetri::quality
