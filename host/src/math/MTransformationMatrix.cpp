#include <maya/MTransformationMatrix.h>

#include <maya/MStatus.h>

#include <cmath>

namespace {

bool validOrder(MTransformationMatrix::RotationOrder o)
{
    return o > MTransformationMatrix::kInvalid && o < MTransformationMatrix::kLast;
}

// The two enums list the same orders; this one starts with kInvalid.
MEulerRotation::RotationOrder toEuler(MTransformationMatrix::RotationOrder o)
{
    return static_cast<MEulerRotation::RotationOrder>(static_cast<int>(o) - 1);
}

MTransformationMatrix::RotationOrder fromEuler(MEulerRotation::RotationOrder o)
{
    return static_cast<MTransformationMatrix::RotationOrder>(static_cast<int>(o) + 1);
}

}  // namespace

const MTransformationMatrix MTransformationMatrix::identity;

MTransformationMatrix::MTransformationMatrix() : trans(), scl{1.0, 1.0, 1.0}, rot(), euler() {}

MTransformationMatrix::MTransformationMatrix(const MMatrix& m) : MTransformationMatrix()
{
    trans = MVector(m.matrix[3][0], m.matrix[3][1], m.matrix[3][2]);
    MVector rows[3];
    for (int i = 0; i < 3; ++i) {
        rows[i] = MVector(m.matrix[i][0], m.matrix[i][1], m.matrix[i][2]);
        scl[i] = rows[i].length();
    }
    // A mirrored matrix is a rotation with one negative scale.
    if (((rows[0] ^ rows[1]) * rows[2]) < 0.0)
        scl[0] = -scl[0];
    MMatrix r;
    for (int i = 0; i < 3; ++i) {
        const double s = scl[i];
        for (int j = 0; j < 3; ++j)
            r.matrix[i][j] = (s != 0.0) ? m.matrix[i][j] / s : MMatrix::identity.matrix[i][j];
    }
    rot = MQuaternion().setValue(r);
    euler = MEulerRotation::decompose(rot.asMatrix(), MEulerRotation::kXYZ);
}

MMatrix MTransformationMatrix::asMatrix() const
{
    MMatrix m = rot.asMatrix();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m.matrix[i][j] *= scl[i];
    m.matrix[3][0] = trans.x;
    m.matrix[3][1] = trans.y;
    m.matrix[3][2] = trans.z;
    return m;
}

MStatus MTransformationMatrix::setTranslation(const MVector& t)
{
    trans = t;
    return MS::kSuccess;
}

void MTransformationMatrix::getScale(double scale[3]) const
{
    if (scale == nullptr)
        return;
    for (int i = 0; i < 3; ++i)
        scale[i] = scl[i];
}

MStatus MTransformationMatrix::setScale(const double scale[3])
{
    if (scale == nullptr)
        return MS::kInvalidParameter;
    for (int i = 0; i < 3; ++i)
        scl[i] = scale[i];
    return MS::kSuccess;
}

MEulerRotation MTransformationMatrix::eulerRotation() const { return euler; }

MTransformationMatrix& MTransformationMatrix::rotateTo(const MQuaternion& q)
{
    rot = q.normal();
    euler = MEulerRotation::decompose(rot.asMatrix(), euler.order);
    return *this;
}

MTransformationMatrix& MTransformationMatrix::rotateTo(const MEulerRotation& e)
{
    euler = e;
    rot = e.asQuaternion();
    return *this;
}

MTransformationMatrix::RotationOrder MTransformationMatrix::rotationOrder(MStatus* ReturnStatus) const
{
    if (ReturnStatus != nullptr)
        *ReturnStatus = MS::kSuccess;
    return fromEuler(euler.order);
}

MStatus MTransformationMatrix::setRotationOrder(RotationOrder order, bool reorder)
{
    if (!validOrder(order))
        return MS::kInvalidParameter;
    if (reorder) {
        euler.reorderIt(toEuler(order));
    } else {
        euler.order = toEuler(order);
        rot = euler.asQuaternion();
    }
    return MS::kSuccess;
}

bool MTransformationMatrix::isEquivalent(const MTransformationMatrix& other, double tolerance) const
{
    return asMatrix().isEquivalent(other.asMatrix(), tolerance);
}
