// A sparse LDLT factorisation for a pattern that is factorised again and
// again with new values (the plot network's normal equations).
#pragma once

#include <Eigen/Sparse>
#include <Eigen/SparseCholesky>
#include <vector>

namespace treetri::quality::net {

// Eigen's sparse LDLT (S as given, its upper triangle) whose numeric
// factorisation reads the row patterns of the elimination tree and the
// entries each row scatters, found once from the pattern of S, instead of
// walking the tree again each time: the same operations in the same order
// as Eigen's own (up-looking) factorisation, on the same storage, so that
// its solves and its factor serve as they are.
class PlannedLdlt
    : public Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Upper, Eigen::NaturalOrdering<int>> {
 public:
  // After analyzePattern(ap); ap keeps its pattern from call to call.
  void Factorize(const Eigen::SparseMatrix<double>& ap) {
    const int size = static_cast<int>(ap.rows());
    if (!planned_) Plan(ap);
    const int* Lp = m_matrix.outerIndexPtr();
    int* Li = m_matrix.innerIndexPtr();
    double* Lx = m_matrix.valuePtr();
    const double* ax = ap.valuePtr();
    m_diag.resize(size);
    y_.assign(static_cast<size_t>(size), 0.0);
    double* y = y_.data();
    bool ok = true;
    for (int k = 0; k < size; ++k) {
      m_nonZerosPerCol[k] = 0;
      for (int e = scatterStart_[static_cast<size_t>(k)]; e < scatterStart_[static_cast<size_t>(k) + 1]; ++e)
        y[scatterRow_[static_cast<size_t>(e)]] += ax[scatterAt_[static_cast<size_t>(e)]];
      double d = y[k] * m_shiftScale + m_shiftOffset;
      y[k] = 0;
      for (int t = patternStart_[static_cast<size_t>(k)]; t < patternStart_[static_cast<size_t>(k) + 1]; ++t) {
        const int i = pattern_[static_cast<size_t>(t)];
        const double yi = y[i];
        y[i] = 0;
        const double lki = yi / m_diag[i];
        const int p2 = Lp[i] + m_nonZerosPerCol[i];
        int p;
        for (p = Lp[i]; p < p2; ++p) y[Li[p]] -= Lx[p] * yi;
        d -= lki * yi;
        Li[p] = k;
        Lx[p] = lki;
        ++m_nonZerosPerCol[i];
      }
      m_diag[k] = d;
      if (d == 0) {
        ok = false;
        break;
      }
    }
    m_info = ok ? Eigen::Success : Eigen::NumericalIssue;
    m_factorizationIsOk = true;
  }

 private:
  // Per row k: the entries of column k of ap on or above the diagonal (in
  // storage order) and the nonzero pattern of row k of L in the order the
  // tree walk gives it.
  void Plan(const Eigen::SparseMatrix<double>& ap) {
    const int size = static_cast<int>(ap.rows());
    std::vector<int> tags(static_cast<size_t>(size), -1), pattern(static_cast<size_t>(size));
    scatterStart_.assign(1, 0);
    patternStart_.assign(1, 0);
    scatterRow_.clear();
    scatterAt_.clear();
    pattern_.clear();
    for (int k = 0; k < size; ++k) {
      int top = size;
      tags[static_cast<size_t>(k)] = k;
      for (Eigen::SparseMatrix<double>::InnerIterator it(ap, k); it; ++it) {
        int i = static_cast<int>(it.index());
        if (i > k) continue;
        scatterRow_.push_back(i);
        scatterAt_.push_back(static_cast<int>(&it.value() - ap.valuePtr()));
        int len = 0;
        for (; tags[static_cast<size_t>(i)] != k; i = m_parent[i]) {
          pattern[static_cast<size_t>(len++)] = i;
          tags[static_cast<size_t>(i)] = k;
        }
        while (len > 0) pattern[static_cast<size_t>(--top)] = pattern[static_cast<size_t>(--len)];
      }
      scatterStart_.push_back(static_cast<int>(scatterRow_.size()));
      pattern_.insert(pattern_.end(), pattern.begin() + top, pattern.end());
      patternStart_.push_back(static_cast<int>(pattern_.size()));
    }
    planned_ = true;
  }

  bool planned_ = false;
  std::vector<int> scatterStart_, scatterRow_, scatterAt_, patternStart_, pattern_;
  std::vector<double> y_;
};

}  // namespace treetri::quality::net
