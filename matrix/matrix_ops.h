// The matrix routines of the least-squares solution. Each re-creates its
// output with the result's dimensions before filling it. Products sum their
// terms with k ascending, so results are reproducible to the bit.
#pragma once

#include <string>
#include <vector>

#include "matrix/matrix.h"

namespace treetri {

// The messages of the routines, in order: a routine that finds its operands'
// shapes at odds adds the message and goes on; the caller shows them.
using MatrixReport = std::vector<std::string>;

// C (rowsC x colsC) = A * B. B may be a Matrix or a Vector (a single column).
// When colsA differs from rowsB kDimensionMessage is reported and a best-effort product
// is made: terms whose indices lie outside A or B, terms that overflow and
// stores outside C are skipped. Returns false when a term was skipped
// because it overflowed.
bool MatMul(MatrixReport& report, const Matrix& A, int rowsA, int colsA, const Matrix& B, int rowsB,
            int colsB, Matrix& C, int rowsC, int colsC);
bool MatMul(MatrixReport& report, const Matrix& A, int rowsA, int colsA, const Vector& B, int rowsB,
            int colsB, Matrix& C, int rowsC, int colsC);

// C = a^T * B with the vector a taken as one row of colsA elements; every row
// of C holds that same product.
bool VecTMatMul(MatrixReport& report, const Vector& a, int rowsA, int colsA, const Matrix& B,
                int rowsB, int colsB, Matrix& C, int rowsC, int colsC);

// C = A + B over A's dimensions; B must be at least as large as A.
void MatAdd(const Matrix& A, const Matrix& B, Matrix& C);

// T = M^T.
void MatTranspose(const Matrix& M, Matrix& T);

enum class InverseResult { Ok, Singular, TooLarge, NotSquare };

// R = M^-1 by Gauss-Jordan elimination on [M | I] in the workspace, with a row
// exchange only where a diagonal element is exactly zero. Returns Singular
// when a column has no nonzero pivot, TooLarge above 60 rows, NotSquare for
// a matrix that is not square; R is then all zero with M's dimensions.
InverseResult MatInverse(InverseWorkspace& ws, const Matrix& M, Matrix& R);

// d(i) = M(i, i) for every row; kNotSquareMessage is reported when M is not square. Elements
// beyond the last column of a matrix with more rows than columns are 0.
void MatDiagonal(MatrixReport& report, const Matrix& M, Vector& d);

// M = diag(v).
void DiagonalMatrix(const Vector& v, Matrix& M);

inline constexpr const char* kDimensionMessage =
    "The number of A's columns differ from the number of B's rows";
inline constexpr const char* kNotSquareMessage = "Matrix isn't a square matrix";

}  // namespace treetri
