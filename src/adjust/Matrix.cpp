#include "adjust/Matrix.h"

#include <cmath>
#include <new>
#include <utility>

namespace pelmar {

namespace {
constexpr double kSingularPivot = 1e-10;
constexpr double kZeroDiagonal = 1e-12;
}  // namespace

Matrix::Matrix(int rows, int cols, double fill) { Resize(rows, cols, fill); }

int Matrix::Resize(int rows, int cols, double fill) {
  data_.clear();
  try {
    if (rows < 0 || cols < 0) throw std::bad_alloc();
    data_.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), fill);
  } catch (const std::bad_alloc&) {
    rows_ = -1;
    cols_ = 0;
    return 1;
  }
  rows_ = rows;
  cols_ = cols;
  return 0;
}

Matrix Matrix::Multiply(const Matrix& b) const {
  Matrix c(rows_, b.cols_, 0.0);
  for (int i = 0; i < rows_; ++i) {
    for (int k = 0; k < cols_; ++k) {
      const double aik = (*this)(i, k);
      for (int j = 0; j < b.cols_; ++j) c(i, j) += aik * b(k, j);
    }
  }
  return c;
}

Matrix Matrix::Scale(double s) const {
  Matrix c = *this;
  for (double& x : c.data_) x *= s;
  return c;
}

Matrix Matrix::Add(const Matrix& b) const {
  Matrix c = *this;
  for (std::size_t i = 0; i < c.data_.size(); ++i) c.data_[i] += b.data_[i];
  return c;
}

Matrix Matrix::Subtract(const Matrix& b) const {
  Matrix c = *this;
  for (std::size_t i = 0; i < c.data_.size(); ++i) c.data_[i] -= b.data_[i];
  return c;
}

Matrix Matrix::Transpose() const {
  Matrix t(cols_, rows_, 0.0);
  for (int i = 0; i < rows_; ++i) {
    for (int j = 0; j < cols_; ++j) t(j, i) = (*this)(i, j);
  }
  return t;
}

int Matrix::InvertInPlace() {
  const int n = rows_;
  Matrix& a = *this;
  for (int i = 0; i < n; ++i) {
    if (std::fabs(a(i, i)) < kZeroDiagonal) {
      for (int k = 0; k < n; ++k) a(i, k) = a(k, i) = 0.0;
      continue;
    }
    a(i, i) = 1.0 / a(i, i);
    for (int j = 0; j < n; ++j) {
      if (j != i) a(i, j) = -a(i, i) * a(i, j);
    }
    for (int j = 0; j < n; ++j) {
      if (j == i) continue;
      for (int k = 0; k < n; ++k) {
        if (k != i) a(j, k) += a(i, k) * a(j, i);
      }
    }
    for (int j = 0; j < n; ++j) {
      if (j != i) a(j, i) = a(i, i) * a(j, i);
    }
  }
  return 1;
}

int Matrix::Invert() {
  const int n = cols_;
  Matrix& a = *this;
  std::vector<int> pivotColumnOfRow(static_cast<std::size_t>(n), -1);
  std::vector<int> pivotRowOfColumn(static_cast<std::size_t>(n), -1);
  for (int step = 0; step < n; ++step) {
    int r = -1, c = -1;
    double largest = -1.0;
    for (int i = 0; i < n; ++i) {
      if (pivotColumnOfRow[i] >= 0) continue;
      for (int j = 0; j < n; ++j) {
        if (pivotRowOfColumn[j] >= 0) continue;
        if (std::fabs(a(i, j)) > largest) {
          largest = std::fabs(a(i, j));
          r = i;
          c = j;
        }
      }
    }
    if (r < 0) return -1;  // only NaN left
    pivotColumnOfRow[r] = c;
    pivotRowOfColumn[c] = r;
    const double p = -a(r, c);
    if (std::fabs(p) < kSingularPivot) return -1;
    a(r, c) = -1.0;
    for (int k = 0; k < n; ++k) a(r, k) /= p;
    for (int s = 0; s < n; ++s) {
      if (s == r) continue;
      const double f = a(s, c);
      a(s, c) = 0.0;
      for (int k = 0; k < n; ++k) a(s, k) += f * a(r, k);
    }
  }
  // Each pivot (r, c) was an exchange step: row r now gives unknown c, and
  // column c takes right-hand side r. Put every element where the inverse
  // has it, which undoes the row and column exchanges in one pass.
  Matrix result(n, n, 0.0);
  for (int r = 0; r < n; ++r) {
    for (int j = 0; j < n; ++j) result(pivotColumnOfRow[r], pivotRowOfColumn[j]) = a(r, j);
  }
  *this = std::move(result);
  return 1;
}

}  // namespace pelmar
