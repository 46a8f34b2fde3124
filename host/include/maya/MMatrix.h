#ifndef MAYA_MMATRIX_H
#define MAYA_MMATRIX_H
// 4x4 double matrix for row vectors: p' = p * M, translation in the last row,
// and A * B applies A, then B.

#include <maya/MTypes.h>
#include <iosfwd>

class MStatus;

#define kMatrixEpsilon 1.0e-10

class OPENMAYA_EXPORT MMatrix {
public:
    MMatrix();
    MMatrix(const MMatrix& src) = default;
    MMatrix(const double m[4][4]);
    MMatrix(const float m[4][4]);
    ~MMatrix() = default;

    MMatrix& operator=(const MMatrix& src) = default;
    double operator()(unsigned int row, unsigned int col) const;
    double& operator()(unsigned int row, unsigned int col);
    const double* operator[](unsigned int row) const;
    double* operator[](unsigned int row);
    MStatus get(double dest[4][4]) const;
    MStatus get(float dest[4][4]) const;

    MMatrix transpose() const;
    MMatrix& setToIdentity();
    MMatrix& setToProduct(const MMatrix& left, const MMatrix& right);
    MMatrix& operator+=(const MMatrix& right);
    MMatrix operator+(const MMatrix& right) const;
    MMatrix& operator-=(const MMatrix& right);
    MMatrix operator-(const MMatrix& right) const;
    MMatrix& operator*=(const MMatrix& right);
    MMatrix operator*(const MMatrix& right) const;
    MMatrix& operator*=(double scale);
    MMatrix operator*(double scale) const;
    bool operator==(const MMatrix& other) const;
    bool operator!=(const MMatrix& other) const { return !(*this == other); }
    // A singular matrix has no inverse; the identity comes back instead.
    MMatrix inverse() const;
    MMatrix adjoint() const;
    MMatrix homogenize() const;
    double det4x4() const;
    double det3x3() const;
    bool isEquivalent(const MMatrix& other, double tolerance = kMatrixEpsilon) const;
    bool isSingular() const;

    static const MMatrix identity;

    double matrix[4][4];
};

OPENMAYA_EXPORT MMatrix operator*(double scale, const MMatrix& m);
OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MMatrix& m);

#endif
