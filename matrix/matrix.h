// Dense matrices and vectors of doubles with indices from 1.
#pragma once

#include <cstddef>
#include <vector>

namespace treetri {

class Matrix {
 public:
  Matrix() = default;
  Matrix(int rows, int cols) { Recreate(rows, cols); }

  // Replaces the contents by rows x cols zeros (keeps the storage for reuse).
  void Recreate(int rows, int cols) {
    rows_ = rows > 0 ? rows : 0;
    cols_ = cols > 0 ? cols : 0;
    data_.assign(static_cast<size_t>(rows_) * static_cast<size_t>(cols_), 0.0);
  }

  int Rows() const { return rows_; }
  int Cols() const { return cols_; }
  bool Contains(int i, int j) const { return i >= 1 && i <= rows_ && j >= 1 && j <= cols_; }

  double& operator()(int i, int j) { return data_[Index(i, j)]; }
  double operator()(int i, int j) const { return data_[Index(i, j)]; }

 private:
  size_t Index(int i, int j) const {
    return static_cast<size_t>(i - 1) * static_cast<size_t>(cols_) + static_cast<size_t>(j - 1);
  }
  int rows_ = 0, cols_ = 0;
  std::vector<double> data_;
};

class Vector {
 public:
  Vector() = default;
  explicit Vector(int n) { Recreate(n); }
  Vector(std::initializer_list<double> values) : data_(values) {}

  void Recreate(int n) { data_.assign(n > 0 ? static_cast<size_t>(n) : 0, 0.0); }
  int Size() const { return static_cast<int>(data_.size()); }
  bool Contains(int i) const { return i >= 1 && i <= Size(); }

  double& operator()(int i) { return data_[static_cast<size_t>(i - 1)]; }
  double operator()(int i) const { return data_[static_cast<size_t>(i - 1)]; }

 private:
  std::vector<double> data_;
};

// The fixed workspace of MatInverse, kept for the whole program run.
struct InverseWorkspace {
  static constexpr int kMaxRows = 60;
  InverseWorkspace() : W1(kMaxRows, kMaxRows), W2(kMaxRows, 2 * kMaxRows), W3(kMaxRows, kMaxRows) {}
  Matrix W1, W2, W3;
  short n = 0;
};

}  // namespace treetri
