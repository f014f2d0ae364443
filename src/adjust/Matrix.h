#pragma once

#include <vector>

namespace pelmar {

// A dense row-major matrix of doubles for the adjustments: small normal
// equations and the design blocks of one point. Values: copies are deep,
// every arithmetic operation returns a new matrix, dimensions are the
// caller's responsibility (they are not checked).
class Matrix {
 public:
  Matrix() = default;
  // rows × cols, every element `fill`. When the storage cannot be had,
  // rows() is -1.
  Matrix(int rows, int cols, double fill = 0.0);
  virtual ~Matrix() = default;
  Matrix(const Matrix&) = default;
  Matrix& operator=(const Matrix&) = default;
  Matrix(Matrix&&) noexcept = default;
  Matrix& operator=(Matrix&&) noexcept = default;

  int rows() const noexcept { return rows_; }
  int cols() const noexcept { return cols_; }
  double& operator()(int i, int j) { return data_[static_cast<std::size_t>(i) * cols_ + j]; }
  double operator()(int i, int j) const { return data_[static_cast<std::size_t>(i) * cols_ + j]; }
  const double* data() const noexcept { return data_.data(); }  // row by row

  // New storage of rows × cols, every element `fill`; 0, or 1 (and rows -1)
  // when the storage cannot be had.
  int Resize(int rows, int cols, double fill = 0.0);

  Matrix Multiply(const Matrix& b) const;
  Matrix Scale(double s) const;
  Matrix Add(const Matrix& b) const;
  Matrix Subtract(const Matrix& b) const;
  Matrix Transpose() const;

  // Gauss–Jordan exchange steps on the diagonal, in order, without pivot
  // search (for the small cofactor blocks of the gross-error tests). A pivot
  // that is zero (below 1e-12 in magnitude) has no inverse: its row and
  // column become zero, so a block without redundancy yields zero instead
  // of spreading infinities and NaN. Always returns 1.
  int InvertInPlace();

  // Gauss–Jordan with full pivoting: 1, or -1 when the largest remaining
  // pivot is below 1e-10 in magnitude (the matrix is then partly
  // transformed).
  int Invert();

 private:
  int rows_ = 0;
  int cols_ = 0;
  std::vector<double> data_;
};

}  // namespace pelmar
