// The matrix routines against products, sums and inverses worked out by hand,
// their dimension messages, and the inverse's workspace and failure returns.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "matrix/matrix.h"
#include "matrix/matrix_ops.h"
#include "platform/headless_ui.h"

namespace treetri {
namespace {

Matrix Make(const std::vector<std::vector<double>>& rows) {
  Matrix m(static_cast<int>(rows.size()), rows.empty() ? 0 : static_cast<int>(rows[0].size()));
  for (int i = 1; i <= m.Rows(); ++i)
    for (int j = 1; j <= m.Cols(); ++j) m(i, j) = rows[i - 1][j - 1];
  return m;
}

// Bit-for-bit equality, dimensions included.
void ExpectMatrix(const Matrix& m, const std::vector<std::vector<double>>& expected) {
  ASSERT_EQ(m.Rows(), static_cast<int>(expected.size()));
  for (int i = 1; i <= m.Rows(); ++i) {
    ASSERT_EQ(m.Cols(), static_cast<int>(expected[i - 1].size()));
    for (int j = 1; j <= m.Cols(); ++j) EXPECT_EQ(m(i, j), expected[i - 1][j - 1]) << i << "," << j;
  }
}

// An output holding stale values of other dimensions, which every routine
// must discard.
Matrix Stale() { return Make({{9, 9, 9}, {9, 9, 9}, {9, 9, 9}, {9, 9, 9}}); }

const std::string kDimension = "The number of A's columns differ from the number of B's rows";
const std::string kNotSquare = "Matrix isn't a square matrix";

TEST(MatMul, TwoByThreeTimesThreeByTwo) {
  HeadlessUi ui;
  Matrix a = Make({{1, 2, 3}, {4, 5, 6}});
  Matrix b = Make({{7, 8}, {9, 10}, {11, 12}});
  Matrix c = Stale();
  EXPECT_TRUE(MatMul(ui, a, 2, 3, b, 3, 2, c, 2, 2));
  ExpectMatrix(c, {{58, 64}, {139, 154}});
  EXPECT_TRUE(ui.messages.empty());
}

TEST(MatMul, ColumnCountDifferingFromRowCountGivesOneMessageAndABestEffortProduct) {
  HeadlessUi ui;
  Matrix a = Make({{1, 2, 3}, {4, 5, 6}});
  Matrix b = Make({{1, 2}, {3, 4}});
  Matrix c = Stale();
  MatMul(ui, a, 2, 3, b, 2, 2, c, 2, 2);
  EXPECT_EQ(ui.messages, std::vector<std::string>{kDimension});
  // k = 3 has no B(3, j): only the first two terms count.
  ExpectMatrix(c, {{1 * 1 + 2 * 3, 1 * 2 + 2 * 4}, {4 * 1 + 5 * 3, 4 * 2 + 5 * 4}});
  // The message text is the routine's own constant.
  EXPECT_EQ(kDimensionMessage, kDimension);
}

TEST(MatMul, CountsNotTheOperandsShapeDecideTheLoopsAndC) {
  HeadlessUi ui;
  Matrix a = Make({{1, 2}, {3, 4}});
  Matrix b = Make({{5, 6}, {7, 8}});
  // Fewer rows in C than the product has: the second row is dropped.
  Matrix c = Stale();
  MatMul(ui, a, 2, 2, b, 2, 2, c, 1, 2);
  ExpectMatrix(c, {{19, 22}});
  // More rows and columns in C: the extra elements stay zero.
  MatMul(ui, a, 2, 2, b, 2, 2, c, 3, 3);
  ExpectMatrix(c, {{19, 22, 0}, {43, 50, 0}, {0, 0, 0}});
  // Only one column asked for: colsB bounds the loop over j.
  MatMul(ui, a, 2, 2, b, 2, 1, c, 2, 2);
  ExpectMatrix(c, {{19, 0}, {43, 0}});
  // rowsA beyond A: those rows have no terms.
  MatMul(ui, a, 3, 2, b, 2, 2, c, 3, 2);
  ExpectMatrix(c, {{19, 22}, {43, 50}, {0, 0}});
  EXPECT_TRUE(ui.messages.empty());
}

TEST(MatMul, MatrixTimesVector) {
  HeadlessUi ui;
  Matrix a = Make({{1, 0, 0, 2}, {0, 1, 0, 0}, {1, 1, 1, 1}, {-1, 0, 3, 0}});
  Vector v{1, 2, 3, 4};
  Matrix c = Stale();
  EXPECT_TRUE(MatMul(ui, a, 4, 4, v, 4, 1, c, 4, 1));
  ExpectMatrix(c, {{9}, {2}, {10}, {8}});
  // A vector has no second column: with two columns asked for, no term has
  // a source and C is all zero.
  MatMul(ui, a, 4, 4, v, 4, 2, c, 4, 2);
  ExpectMatrix(c, {{0, 0}, {0, 0}, {0, 0}, {0, 0}});
  EXPECT_TRUE(ui.messages.empty());
  // A vector that is too short shows the message; missing terms are skipped.
  Vector shortV{1, 2};
  MatMul(ui, a, 4, 4, shortV, 2, 1, c, 4, 1);
  EXPECT_EQ(ui.messages, std::vector<std::string>{kDimension});
  ExpectMatrix(c, {{1}, {2}, {3}, {-1}});
}

TEST(MatMul, TermsAreSummedWithKAscending) {
  HeadlessUi ui;
  // Each row's three terms give a different sum in any other order.
  Matrix a = Make({{1.0, 1e100, -1e100}, {1e100, -1e100, 1.0}, {0.1, 0.2, 0.3}});
  Matrix b = Make({{1}, {1}, {1}});
  Matrix c;
  MatMul(ui, a, 3, 3, b, 3, 1, c, 3, 1);
  EXPECT_EQ(c(1, 1), 0.0);
  EXPECT_EQ(c(2, 1), 1.0);
  EXPECT_EQ(c(3, 1), (0.1 + 0.2) + 0.3);
  EXPECT_NE(c(3, 1), 0.1 + (0.2 + 0.3));

  // Rounded products, each rounded on its own before the sum (no fused
  // multiply-add): compare with the sum written out term by term.
  Matrix x = Make({{0.1, 0.7, -1.3, 2.9}, {1.0 / 3, 2.0 / 7, 5.0 / 11, -7.0 / 13}});
  Matrix y = Make({{0.3, 1.1}, {1.7, -0.9}, {2.3, 0.01}, {-0.6, 3.3}});
  MatMul(ui, x, 2, 4, y, 4, 2, c, 2, 2);
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 2; ++j) {
      volatile double s = 0.0;
      for (int k = 1; k <= 4; ++k) {
        volatile double term = x(i, k) * y(k, j);
        s = s + term;
      }
      EXPECT_EQ(c(i, j), s) << i << "," << j;
    }
}

TEST(MatMul, AnOverflowingTermIsSkipped) {
  HeadlessUi ui;
  Matrix a = Make({{1e200, 1e200}, {1, 2}});
  Matrix b = Make({{1e200}, {1}});
  Matrix c;
  EXPECT_FALSE(MatMul(ui, a, 2, 2, b, 2, 1, c, 2, 1));
  ExpectMatrix(c, {{1e200}, {1e200 + 2}});
  // A sum that would overflow keeps its last finite value.
  Matrix big = Make({{1e308, 1e308, -1}});
  Matrix ones = Make({{1}, {1}, {1}});
  EXPECT_FALSE(MatMul(ui, big, 1, 3, ones, 3, 1, c, 1, 1));
  EXPECT_EQ(c(1, 1), 1e308 - 1);
  EXPECT_TRUE(ui.messages.empty());
}

TEST(VecTMatMul, RowVectorTimesMatrix) {
  HeadlessUi ui;
  Vector v{1, 2};
  Matrix identity = Make({{1, 0}, {0, 1}});
  Matrix c = Stale();
  EXPECT_TRUE(VecTMatMul(ui, v, 1, 2, identity, 2, 2, c, 1, 2));
  ExpectMatrix(c, {{1, 2}});
  // Every row of C is the same product.
  Matrix b = Make({{1, 2, 3}, {4, 5, 6}});
  VecTMatMul(ui, v, 2, 2, b, 2, 3, c, 2, 3);
  ExpectMatrix(c, {{9, 12, 15}, {9, 12, 15}});
  EXPECT_TRUE(ui.messages.empty());
  // Mismatch: the message, and the term with no B(3, j) skipped.
  Vector w{1, 2, 3};
  VecTMatMul(ui, w, 1, 3, b, 2, 3, c, 1, 3);
  EXPECT_EQ(ui.messages, std::vector<std::string>{kDimension});
  ExpectMatrix(c, {{9, 12, 15}});
}

TEST(MatAddTransposeDiagonal, SumOverTheFirstOperandsDimensions) {
  Matrix a = Make({{1, 2}, {3, 4}});
  Matrix b = Make({{0.5, -2, 7}, {10, 20, 7}, {7, 7, 7}});
  Matrix c = Stale();
  MatAdd(a, b, c);
  ExpectMatrix(c, {{1.5, 0}, {13, 24}});
}

TEST(MatAddTransposeDiagonal, Transpose) {
  Matrix t = Stale();
  MatTranspose(Make({{1, 2, 3}}), t);
  ExpectMatrix(t, {{1}, {2}, {3}});
  MatTranspose(Make({{1, 2, 3}, {4, 5, 6}}), t);
  ExpectMatrix(t, {{1, 4}, {2, 5}, {3, 6}});
}

TEST(MatAddTransposeDiagonal, DiagonalOfSquareAndOfNonSquareMatrices) {
  HeadlessUi ui;
  Vector d{9, 9, 9, 9, 9};
  MatDiagonal(ui, Make({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), d);
  ASSERT_EQ(d.Size(), 3);
  EXPECT_EQ(d(1), 1);
  EXPECT_EQ(d(2), 5);
  EXPECT_EQ(d(3), 9);
  EXPECT_TRUE(ui.messages.empty());

  MatDiagonal(ui, Make({{1, 2, 3}, {4, 5, 6}}), d);
  EXPECT_EQ(ui.messages, std::vector<std::string>{kNotSquare});
  ASSERT_EQ(d.Size(), 2);
  EXPECT_EQ(d(1), 1);
  EXPECT_EQ(d(2), 5);

  // More rows than columns: nothing beyond the last column, which reads 0.
  MatDiagonal(ui, Make({{1, 2}, {3, 4}, {5, 6}}), d);
  EXPECT_EQ(ui.messages.size(), 2u);
  ASSERT_EQ(d.Size(), 3);
  EXPECT_EQ(d(2), 4);
  EXPECT_EQ(d(3), 0);
  EXPECT_EQ(kNotSquareMessage, kNotSquare);
}

TEST(MatAddTransposeDiagonal, DiagonalMatrixFromAVector) {
  Matrix m = Stale();
  DiagonalMatrix(Vector{2, -3, 0.5}, m);
  ExpectMatrix(m, {{2, 0, 0}, {0, -3, 0}, {0, 0, 0.5}});
  DiagonalMatrix(Vector{}, m);
  EXPECT_EQ(m.Rows(), 0);
  EXPECT_EQ(m.Cols(), 0);
}

TEST(MatInverse, SmallInversesWorkedOutByHand) {
  InverseWorkspace ws;
  Matrix r = Stale();
  // The zero at (1, 1) makes the first row change places with the second.
  EXPECT_EQ(MatInverse(ws, Make({{0, 1}, {1, 0}}), r), InverseResult::Ok);
  ExpectMatrix(r, {{0, 1}, {1, 0}});
  EXPECT_EQ(MatInverse(ws, Make({{4, 0}, {0, 0.25}}), r), InverseResult::Ok);
  ExpectMatrix(r, {{0.25, 0}, {0, 4}});
  EXPECT_EQ(MatInverse(ws, Make({{2, 1}, {1, 1}}), r), InverseResult::Ok);
  ExpectMatrix(r, {{1, -1}, {-1, 2}});
  // A zero pivot in the second column: rows 2 and 3 change places.
  EXPECT_EQ(MatInverse(ws, Make({{2, 0, 0}, {0, 0, 4}, {0, 1, 0}}), r), InverseResult::Ok);
  ExpectMatrix(r, {{0.5, 0, 0}, {0, 0, 1}, {0, 0.25, 0}});
  EXPECT_EQ(MatInverse(ws, Make({{8}}), r), InverseResult::Ok);
  ExpectMatrix(r, {{0.125}});
}

TEST(MatInverse, ATinyNonzeroPivotIsTakenAsItIs) {
  // Without a search for the largest pivot the element 1e-20 divides the
  // first row, and the 1 of the true inverse's (1, 1) is lost: the
  // elimination gives exactly 0 there (the true inverse has about -1).
  InverseWorkspace ws;
  Matrix r;
  ASSERT_EQ(MatInverse(ws, Make({{1e-20, 1}, {1, 1}}), r), InverseResult::Ok);
  EXPECT_EQ(r(1, 1), 0.0);
  EXPECT_EQ(r(2, 1), 1.0);
  EXPECT_NEAR(r(1, 2), 1.0, 1e-15);
  EXPECT_NEAR(r(2, 2), -1e-20, 1e-35);
}

TEST(MatInverse, SingularTooLargeAndNotSquareReturnAZeroResult) {
  InverseWorkspace ws;
  Matrix r = Stale();
  EXPECT_EQ(MatInverse(ws, Make({{1, 2}, {2, 4}}), r), InverseResult::Singular);
  ExpectMatrix(r, {{0, 0}, {0, 0}});
  EXPECT_EQ(MatInverse(ws, Make({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}), r), InverseResult::Singular);
  ExpectMatrix(r, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
  EXPECT_EQ(MatInverse(ws, Make({{1, 2, 3}, {4, 5, 6}}), r), InverseResult::NotSquare);
  ExpectMatrix(r, {{0, 0, 0}, {0, 0, 0}});

  Matrix big(61, 61);
  for (int i = 1; i <= 61; ++i) big(i, i) = 1;
  EXPECT_EQ(MatInverse(ws, big, r), InverseResult::TooLarge);
  EXPECT_EQ(r.Rows(), 61);
  EXPECT_EQ(r.Cols(), 61);
  EXPECT_EQ(r(1, 1), 0.0);
  Matrix tall(61, 2);
  EXPECT_EQ(MatInverse(ws, tall, r), InverseResult::TooLarge);
  // After the failures a good inverse still works.
  EXPECT_EQ(MatInverse(ws, Make({{2, 1}, {1, 1}}), r), InverseResult::Ok);
  ExpectMatrix(r, {{1, -1}, {-1, 2}});
}

TEST(MatInverse, SixtyBySixtyThenTwoByTwo) {
  InverseWorkspace ws;
  // Ones on the diagonal and -1 below it: the inverse is the lower triangle
  // of ones, and every step of the elimination is exact.
  Matrix m(60, 60);
  for (int i = 1; i <= 60; ++i) {
    m(i, i) = 1;
    if (i > 1) m(i, i - 1) = -1;
  }
  Matrix r;
  ASSERT_EQ(MatInverse(ws, m, r), InverseResult::Ok);
  ASSERT_EQ(r.Rows(), 60);
  ASSERT_EQ(r.Cols(), 60);
  for (int i = 1; i <= 60; ++i)
    for (int j = 1; j <= 60; ++j) ASSERT_EQ(r(i, j), j <= i ? 1.0 : 0.0) << i << "," << j;

  // A dense, diagonally dominant 60 x 60: M times its inverse is the identity.
  Matrix dense(60, 60);
  for (int i = 1; i <= 60; ++i)
    for (int j = 1; j <= 60; ++j)
      dense(i, j) = i == j ? 100.0 + i : std::sin(i * 7.0 + j * 3.0);
  ASSERT_EQ(MatInverse(ws, dense, r), InverseResult::Ok);
  HeadlessUi ui;
  Matrix product;
  MatMul(ui, dense, 60, 60, r, 60, 60, product, 60, 60);
  for (int i = 1; i <= 60; ++i)
    for (int j = 1; j <= 60; ++j) ASSERT_NEAR(product(i, j), i == j ? 1.0 : 0.0, 1e-12);

  // The 60 x 60 inversion left values all over the workspace; a 2 x 2 one
  // uses only its own rows and columns.
  ASSERT_EQ(MatInverse(ws, Make({{2, 1}, {1, 1}}), r), InverseResult::Ok);
  ExpectMatrix(r, {{1, -1}, {-1, 2}});
  EXPECT_EQ(ws.n, 2);
}

TEST(MatInverse, NoResultDependsOnTheWorkspaceBeyondTheCurrentSize) {
  InverseWorkspace ws;
  const double junk = std::numeric_limits<double>::quiet_NaN();
  for (int i = 1; i <= 60; ++i) {
    for (int j = 1; j <= 60; ++j) ws.W1(i, j) = ws.W3(i, j) = junk;
    for (int j = 1; j <= 120; ++j) ws.W2(i, j) = i == j ? 0 : 5;  // nonzero pivots below
  }
  Matrix r;
  // A pivot search that looked past row n would find one of the 5s.
  EXPECT_EQ(MatInverse(ws, Make({{1, 1}, {1, 1}}), r), InverseResult::Singular);
  EXPECT_EQ(MatInverse(ws, Make({{0, 1}, {0, 1}}), r), InverseResult::Singular);
  for (int i = 1; i <= 60; ++i)
    for (int j = 1; j <= 120; ++j) ws.W2(i, j) = junk;
  ASSERT_EQ(MatInverse(ws, Make({{0, 2}, {4, 0}}), r), InverseResult::Ok);
  ExpectMatrix(r, {{0, 0.25}, {0.5, 0}});
  // The rest of the workspace is never cleared.
  EXPECT_TRUE(std::isnan(ws.W2(3, 3)));
  EXPECT_TRUE(std::isnan(ws.W1(3, 1)));
}

}  // namespace
}  // namespace treetri
