// The matrix routines against products and inverses worked out by hand,
// their messages, and the inverse's workspace and failure returns. (Sums and
// transposes are checked by the two adjustment forms giving the same bits.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "matrix/matrix.h"
#include "matrix/matrix_ops.h"

namespace treetri {
namespace {

using Rows = std::vector<std::vector<double>>;

Matrix Make(const Rows& rows) {
  Matrix m(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()));
  for (int i = 1; i <= m.Rows(); ++i)
    for (int j = 1; j <= m.Cols(); ++j) m(i, j) = rows[i - 1][j - 1];
  return m;
}

// Bit-for-bit equality, dimensions included.
void ExpectMatrix(const Matrix& m, const Rows& expected) {
  ASSERT_TRUE(m.Rows() == static_cast<int>(expected.size()) &&
              m.Cols() == static_cast<int>(expected[0].size()));
  for (int i = 1; i <= m.Rows(); ++i)
    for (int j = 1; j <= m.Cols(); ++j) EXPECT_EQ(m(i, j), expected[i - 1][j - 1]) << i << "," << j;
}

const std::string kDimension = "The number of A's columns differ from the number of B's rows";

TEST(MatMul, HandWorkedProductsAndABestEffortOnMismatchedDimensions) {
  MatrixReport report;
  const Matrix a = Make({{1, 2, 3}, {4, 5, 6}});
  Matrix c = Make({{9, 9, 9}, {9, 9, 9}, {9, 9, 9}});  // stale values of other dimensions
  EXPECT_TRUE(MatMul(report, a, 2, 3, Make({{7, 8}, {9, 10}, {11, 12}}), 3, 2, c, 2, 2));
  ExpectMatrix(c, {{58, 64}, {139, 154}});
  EXPECT_TRUE(VecTMatMul(report, Vector{1, 2}, 2, 2, a, 2, 3, c, 2, 3));
  ExpectMatrix(c, {{9, 12, 15}, {9, 12, 15}});  // every row of C is the same product
  EXPECT_TRUE(MatMul(report, Make({{1, 0, 2}, {1, 1, 1}}), 2, 3, Vector{1, 2, 3}, 3, 1, c, 2, 1));
  ExpectMatrix(c, {{7}, {6}});
  EXPECT_TRUE(report.empty());
  // Three columns of A against two rows of B: the terms with no B(3, j) are skipped.
  MatMul(report, a, 2, 3, Make({{1, 2}, {3, 4}}), 2, 2, c, 2, 2);
  EXPECT_EQ(report, MatrixReport{kDimension});
  ExpectMatrix(c, {{7, 10}, {19, 28}});
  // Terms are summed with k ascending: any other order gives other sums.
  MatMul(report, Make({{1.0, 1e100, -1e100}, {1e100, -1e100, 1.0}}), 2, 3, Make({{1}, {1}, {1}}), 3, 1,
         c, 2, 1);
  ExpectMatrix(c, {{0}, {1}});
}

TEST(MatOps, DiagonalOfANonSquareMatrix) {
  MatrixReport report;
  Vector d{9, 9, 9, 9, 9};
  MatDiagonal(report, Make({{1, 2}, {3, 4}, {5, 6}}), d);  // nothing beyond the last column
  EXPECT_EQ(report, MatrixReport{"Matrix isn't a square matrix"});
  ASSERT_EQ(d.Size(), 3);
  EXPECT_TRUE(d(1) == 1 && d(2) == 4 && d(3) == 0);
}

TEST(MatInverse, HandWorkedInversesFailuresAndTheWorkspace) {
  InverseWorkspace ws;
  Matrix r = Make({{9, 9, 9}, {9, 9, 9}, {9, 9, 9}});
  // A zero diagonal element makes its row change places with a later one.
  EXPECT_EQ(MatInverse(ws, Make({{2, 0, 0}, {0, 0, 4}, {0, 1, 0}}), r), InverseResult::Ok);
  ExpectMatrix(r, {{0.5, 0, 0}, {0, 0, 1}, {0, 0.25, 0}});
  // Failures leave a zero result of the operand's dimensions.
  EXPECT_EQ(MatInverse(ws, Make({{1, 2}, {2, 4}}), r), InverseResult::Singular);
  ExpectMatrix(r, {{0, 0}, {0, 0}});
  EXPECT_EQ(MatInverse(ws, Make({{1, 2, 3}, {4, 5, 6}}), r), InverseResult::NotSquare);
  EXPECT_EQ(MatInverse(ws, Matrix(61, 61), r), InverseResult::TooLarge);
  // Ones on the diagonal and -1 below it: the inverse is the lower triangle
  // of ones, every step exact.
  Matrix m(60, 60);
  for (int i = 1; i <= 60; ++i) {
    m(i, i) = 1;
    if (i > 1) m(i, i - 1) = -1;
  }
  ASSERT_EQ(MatInverse(ws, m, r), InverseResult::Ok);
  ASSERT_TRUE(r.Rows() == 60 && r.Cols() == 60);
  for (int i = 1; i <= 60; ++i)
    for (int j = 1; j <= 60; ++j) ASSERT_EQ(r(i, j), j <= i ? 1.0 : 0.0) << i << "," << j;
  // The workspace holds the 60 x 60 values; a 2 x 2 uses its own part only.
  EXPECT_EQ(MatInverse(ws, Make({{2, 1}, {1, 1}}), r), InverseResult::Ok);
  ExpectMatrix(r, {{1, -1}, {-1, 2}});
}

}  // namespace
}  // namespace treetri
