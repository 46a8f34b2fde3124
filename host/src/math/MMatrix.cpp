#include <maya/MMatrix.h>

#include <maya/MStatus.h>

#include <algorithm>
#include <cmath>
#include <ostream>

namespace {

const double kIdentity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

// Indices past the end are clamped rather than read out of bounds.
inline unsigned int clampIndex(unsigned int i) { return i < 4 ? i : 3; }

double det3(double a, double b, double c, double d, double e, double f, double g, double h, double i)
{
    return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
}

// Determinant of the 3x3 left after removing row r and column c.
double minor3(const double (&m)[4][4], int r, int c)
{
    double v[9];
    int k = 0;
    for (int i = 0; i < 4; ++i) {
        if (i == r)
            continue;
        for (int j = 0; j < 4; ++j) {
            if (j == c)
                continue;
            v[k++] = m[i][j];
        }
    }
    return det3(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
}

// Gauss-Jordan with partial pivoting. A pivot that is negligible next to the
// largest entry means the matrix is singular (or numerically so).
bool invert(const double (&src)[4][4], double (&dst)[4][4])
{
    double a[4][4];
    double scale = 0.0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            a[i][j] = src[i][j];
            dst[i][j] = kIdentity[i][j];
            scale = std::max(scale, std::fabs(src[i][j]));
        }
    if (!(scale > 0.0) || !std::isfinite(scale))
        return false;
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (std::fabs(a[pivot][col]) <= scale * 1.0e-14)
            return false;
        if (pivot != col)
            for (int j = 0; j < 4; ++j) {
                std::swap(a[pivot][j], a[col][j]);
                std::swap(dst[pivot][j], dst[col][j]);
            }
        const double inv = 1.0 / a[col][col];
        for (int j = 0; j < 4; ++j) {
            a[col][j] *= inv;
            dst[col][j] *= inv;
        }
        for (int r = 0; r < 4; ++r) {
            if (r == col)
                continue;
            const double f = a[r][col];
            if (f == 0.0)
                continue;
            for (int j = 0; j < 4; ++j) {
                a[r][j] -= f * a[col][j];
                dst[r][j] -= f * dst[col][j];
            }
        }
    }
    return true;
}

}  // namespace

const MMatrix MMatrix::identity;

MMatrix::MMatrix()
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            matrix[i][j] = kIdentity[i][j];
}

MMatrix::MMatrix(const double m[4][4])
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            matrix[i][j] = m[i][j];
}

MMatrix::MMatrix(const float m[4][4])
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            matrix[i][j] = m[i][j];
}

double MMatrix::operator()(unsigned int r, unsigned int c) const { return matrix[clampIndex(r)][clampIndex(c)]; }
double& MMatrix::operator()(unsigned int r, unsigned int c) { return matrix[clampIndex(r)][clampIndex(c)]; }
const double* MMatrix::operator[](unsigned int r) const { return matrix[clampIndex(r)]; }
double* MMatrix::operator[](unsigned int r) { return matrix[clampIndex(r)]; }

MStatus MMatrix::get(double dest[4][4]) const
{
    if (dest == nullptr)
        return MS::kInvalidParameter;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            dest[i][j] = matrix[i][j];
    return MS::kSuccess;
}

MStatus MMatrix::get(float dest[4][4]) const
{
    if (dest == nullptr)
        return MS::kInvalidParameter;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            dest[i][j] = static_cast<float>(matrix[i][j]);
    return MS::kSuccess;
}

MMatrix MMatrix::transpose() const
{
    MMatrix t;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            t.matrix[i][j] = matrix[j][i];
    return t;
}

MMatrix& MMatrix::setToIdentity() { return *this = MMatrix(); }

MMatrix& MMatrix::setToProduct(const MMatrix& left, const MMatrix& right)
{
    double r[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k)
                s += left.matrix[i][k] * right.matrix[k][j];
            r[i][j] = s;
        }
    // left or right may be *this, so write only once the product is complete.
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            matrix[i][j] = r[i][j];
    return *this;
}

MMatrix& MMatrix::operator+=(const MMatrix& r)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            matrix[i][j] += r.matrix[i][j];
    return *this;
}

MMatrix MMatrix::operator+(const MMatrix& r) const { return MMatrix(*this) += r; }

MMatrix& MMatrix::operator-=(const MMatrix& r)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            matrix[i][j] -= r.matrix[i][j];
    return *this;
}

MMatrix MMatrix::operator-(const MMatrix& r) const { return MMatrix(*this) -= r; }

MMatrix& MMatrix::operator*=(const MMatrix& r) { return setToProduct(*this, r); }

MMatrix MMatrix::operator*(const MMatrix& r) const { return MMatrix().setToProduct(*this, r); }

MMatrix& MMatrix::operator*=(double s)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            matrix[i][j] *= s;
    return *this;
}

MMatrix MMatrix::operator*(double s) const { return MMatrix(*this) *= s; }

bool MMatrix::operator==(const MMatrix& o) const
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (matrix[i][j] != o.matrix[i][j])
                return false;
    return true;
}

MMatrix MMatrix::inverse() const
{
    double r[4][4];
    if (!invert(matrix, r))
        return MMatrix();
    return MMatrix(r);
}

MMatrix MMatrix::adjoint() const
{
    MMatrix a;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            const double sign = ((i + j) % 2 == 0) ? 1.0 : -1.0;
            a.matrix[j][i] = sign * minor3(matrix, i, j);
        }
    return a;
}

// Scales the whole matrix so its homogeneous term is 1; left as is when that term is 0.
MMatrix MMatrix::homogenize() const
{
    const double w = matrix[3][3];
    if (w == 0.0)
        return *this;
    return *this * (1.0 / w);
}

double MMatrix::det4x4() const
{
    double d = 0.0;
    for (int j = 0; j < 4; ++j) {
        const double sign = (j % 2 == 0) ? 1.0 : -1.0;
        d += sign * matrix[0][j] * minor3(matrix, 0, j);
    }
    return d;
}

double MMatrix::det3x3() const
{
    const double (&m)[4][4] = matrix;
    return det3(m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], m[2][0], m[2][1], m[2][2]);
}

bool MMatrix::isEquivalent(const MMatrix& o, double tolerance) const
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!(std::fabs(matrix[i][j] - o.matrix[i][j]) <= tolerance))
                return false;
    return true;
}

bool MMatrix::isSingular() const
{
    double r[4][4];
    return !invert(matrix, r);
}

MMatrix operator*(double s, const MMatrix& m) { return m * s; }

std::ostream& operator<<(std::ostream& os, const MMatrix& m)
{
    os << "[";
    for (int i = 0; i < 4; ++i) {
        os << (i ? ", [" : "[");
        for (int j = 0; j < 4; ++j)
            os << (j ? ", " : "") << m.matrix[i][j];
        os << "]";
    }
    return os << "]";
}
