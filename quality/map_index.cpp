#include "quality/map_index.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <queue>

namespace treetri::quality {
namespace {

constexpr int kLeafSize = 8;
constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace

double PointBoxDistance(double x, double y, const IndexBox& b) {
  const double dx = x < b.xlo ? b.xlo - x : x > b.xhi ? x - b.xhi : 0;
  const double dy = y < b.ylo ? b.ylo - y : y > b.yhi ? y - b.yhi : 0;
  return std::hypot(dx, dy);
}

double PointSegmentDistance(double x, double y, double x0, double y0, double x1, double y1) {
  const double dx = x1 - x0, dy = y1 - y0;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy));
}

double SegmentBoxDistance(double x0, double y0, double x1, double y1, const IndexBox& b) {
  // Clip the segment to the box (Liang-Barsky): any part inside means 0.
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - b.xlo, b.xhi - x0, y0 - b.ylo, b.yhi - y0};
  bool inside = true;
  for (int i = 0; i < 4 && inside; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) inside = false;
    } else {
      const double r = q[i] / p[i];
      if (p[i] < 0)
        t0 = std::max(t0, r);
      else
        t1 = std::min(t1, r);
      if (t0 > t1) inside = false;
    }
  }
  if (inside) return 0;
  // Apart, the nearest points of a segment and a box are an end of the
  // segment or a corner of the box.
  double d = std::min(PointBoxDistance(x0, y0, b), PointBoxDistance(x1, y1, b));
  for (double cx : {b.xlo, b.xhi})
    for (double cy : {b.ylo, b.yhi}) d = std::min(d, PointSegmentDistance(cx, cy, x0, y0, x1, y1));
  return d;
}

Ranking NearPoint(double px, double py) {
  return {[=](double x, double y) { return std::hypot(x - px, y - py); },
          [=](const IndexBox& b) { return PointBoxDistance(px, py, b); }};
}

Ranking NearSegment(double x0, double y0, double x1, double y1) {
  return {[=](double x, double y) { return PointSegmentDistance(x, y, x0, y0, x1, y1); },
          [=](const IndexBox& b) { return SegmentBoxDistance(x0, y0, x1, y1, b); }};
}

Ranking NearCircle(double cx, double cy, double r) {
  return {[=](double x, double y) { return std::fabs(std::hypot(x - cx, y - cy) - r); },
          [=](const IndexBox& b) {
            // The box's points lie between its nearest and farthest
            // distance from the centre.
            const double near = PointBoxDistance(cx, cy, b);
            const double far = std::hypot(std::fmax(std::fabs(b.xlo - cx), std::fabs(b.xhi - cx)),
                                          std::fmax(std::fabs(b.ylo - cy), std::fabs(b.yhi - cy)));
            return r < near ? near - r : r > far ? r - far : 0.0;
          }};
}

Ranking InsideDisc(Ranking ranking, double cx, double cy, double radius) {
  auto score = std::move(ranking.score);
  auto bound = std::move(ranking.bound);
  return {[=](double x, double y) { return std::hypot(x - cx, y - cy) > radius ? kInf : score(x, y); },
          [=](const IndexBox& b) {
            return PointBoxDistance(cx, cy, b) > radius ? kInf : bound(b);
          }};
}

PlotIndex::PlotIndex(const std::vector<MapTree>& trees) {
  trees_.reserve(trees.size());
  byNumber_.reserve(trees.size());
  for (const MapTree& m : trees) {
    auto [it, added] = byNumber_.emplace(m.tree, static_cast<int>(trees_.size()));
    if (added)
      trees_.push_back(m);
    else
      trees_[static_cast<size_t>(it->second)] = m;
  }
  order_.resize(trees_.size());
  for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<int>(i);
  // A split halves a node of more than kLeafSize trees: fewer than
  // 4 n / kLeafSize nodes in all.
  nodes_.reserve(4 * trees_.size() / kLeafSize + 1);
  if (!trees_.empty()) Build(0, static_cast<int>(trees_.size()));
}

int PlotIndex::Build(int first, int last) {
  IndexBox box{kInf, kInf, -kInf, -kInf};
  for (int i = first; i < last; ++i) {
    const MapTree& m = trees_[static_cast<size_t>(order_[static_cast<size_t>(i)])];
    box.xlo = std::min(box.xlo, m.x);
    box.xhi = std::max(box.xhi, m.x);
    box.ylo = std::min(box.ylo, m.y);
    box.yhi = std::max(box.yhi, m.y);
  }
  const int id = static_cast<int>(nodes_.size());
  nodes_.push_back(Node{first, last, -1, 0, -1, -1, box});
  // Split by count even where the points coincide: a crowd at one spot then
  // lies in many small nodes, which the queries pass over whole.
  if (last - first <= kLeafSize) return id;
  const int split = box.xhi - box.xlo >= box.yhi - box.ylo ? 0 : 1;
  const int mid = first + (last - first) / 2;
  auto coordinate = [&](int i) {
    const MapTree& m = trees_[static_cast<size_t>(i)];
    return split == 0 ? m.x : m.y;
  };
  std::nth_element(order_.begin() + first, order_.begin() + mid, order_.begin() + last,
                   [&](int a, int b) {
                     const double ca = coordinate(a), cb = coordinate(b);
                     return ca < cb || (ca == cb && a < b);
                   });
  const int left = Build(first, mid);
  const int right = Build(mid, last);
  Node& n = nodes_[static_cast<size_t>(id)];
  n.split = split;
  n.left = left;
  n.right = right;
  return id;
}

const MapTree* PlotIndex::Find(int tree) const {
  auto it = byNumber_.find(tree);
  return it == byNumber_.end() ? nullptr : &trees_[static_cast<size_t>(it->second)];
}

bool PlotIndex::Within(double x, double y, double radius, size_t limit,
                       std::vector<const MapTree*>& found) const {
  found.clear();
  if (nodes_.empty()) return true;
  std::vector<int> stack{0};
  while (!stack.empty()) {
    const Node& n = nodes_[static_cast<size_t>(stack.back())];
    stack.pop_back();
    ++visits_;
    if (!(PointBoxDistance(x, y, n.box) <= radius)) continue;
    if (n.split >= 0) {
      stack.push_back(n.right);
      stack.push_back(n.left);
      continue;
    }
    for (int i = n.first; i < n.last; ++i) {
      const MapTree& m = trees_[static_cast<size_t>(order_[static_cast<size_t>(i)])];
      ++visits_;
      if (std::hypot(m.x - x, m.y - y) > radius) continue;
      found.push_back(&m);
      if (found.size() > limit) return false;
    }
  }
  std::sort(found.begin(), found.end());  // trees_ is in map order
  return true;
}

std::vector<const MapTree*> PlotIndex::Best(const Ranking& ranking, size_t k) const {
  using Entry = std::pair<double, int>;  // score, position in map order
  std::priority_queue<Entry> kept;       // the worst kept on top
  if (k == 0 || nodes_.empty()) return {};
  auto full = [&] { return kept.size() >= k; };
  // Depth first, the child with the smaller bound first; a node whose bound
  // is no better than the worst kept is passed over, so a crowd of equal
  // scores costs no more than one leaf of them.
  std::vector<std::pair<double, int>> stack{{ranking.bound(nodes_[0].box), 0}};
  while (!stack.empty()) {
    const auto [bound, id] = stack.back();
    stack.pop_back();
    if (!(bound < kInf) || (full() && bound >= kept.top().first)) continue;
    const Node& n = nodes_[static_cast<size_t>(id)];
    ++visits_;
    if (n.split >= 0) {
      const double bl = ranking.bound(nodes_[static_cast<size_t>(n.left)].box);
      const double br = ranking.bound(nodes_[static_cast<size_t>(n.right)].box);
      if (bl <= br) {
        stack.push_back({br, n.right});
        stack.push_back({bl, n.left});
      } else {
        stack.push_back({bl, n.left});
        stack.push_back({br, n.right});
      }
      continue;
    }
    for (int i = n.first; i < n.last; ++i) {
      const int pos = order_[static_cast<size_t>(i)];
      const MapTree& m = trees_[static_cast<size_t>(pos)];
      ++visits_;
      const double s = ranking.score(m.x, m.y);
      if (!(s < kInf)) continue;
      if (!full()) {
        kept.push({s, pos});
      } else if (Entry{s, pos} < kept.top()) {
        kept.pop();
        kept.push({s, pos});
      }
    }
  }
  std::vector<Entry> entries;
  while (!kept.empty()) {
    entries.push_back(kept.top());
    kept.pop();
  }
  std::sort(entries.begin(), entries.end());
  std::vector<const MapTree*> best;
  for (const Entry& e : entries) best.push_back(&trees_[static_cast<size_t>(e.second)]);
  return best;
}

PlotMaps::PlotMaps(const Table<PhotoTree>& photoTrees) {
  std::unordered_map<int, std::vector<MapTree>> byPlot;
  for (int i = 1; i <= photoTrees.Size(); ++i) {
    const PhotoTree& p = photoTrees[i];
    byPlot[p.Plot].push_back(MapTree{p.Tree, p.X, p.Y});
  }
  for (auto& [plot, trees] : byPlot) plots_[plot] = std::make_shared<const PlotIndex>(trees);
}

const std::shared_ptr<const PlotIndex>& PlotMaps::Plot(int plot) const {
  static const std::shared_ptr<const PlotIndex> kNone =
      std::make_shared<const PlotIndex>(std::vector<MapTree>{});
  auto it = plots_.find(plot);
  return it == plots_.end() ? kNone : it->second;
}

}  // namespace treetri::quality
