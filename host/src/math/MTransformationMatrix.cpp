#include <maya/MTransformationMatrix.h>

#include <maya/MStatus.h>

#include <cmath>

namespace {

bool validOrder(MTransformationMatrix::RotationOrder o)
{
    return o > MTransformationMatrix::kInvalid && o < MTransformationMatrix::kLast;
}

bool validSpace(MSpace::Space s) { return s > MSpace::kInvalid && s < MSpace::kLast; }

// The two enums list the same orders; this one starts with kInvalid.
MEulerRotation::RotationOrder toEuler(MTransformationMatrix::RotationOrder o)
{
    return static_cast<MEulerRotation::RotationOrder>(static_cast<int>(o) - 1);
}

MTransformationMatrix::RotationOrder fromEuler(MEulerRotation::RotationOrder o)
{
    return static_cast<MTransformationMatrix::RotationOrder>(static_cast<int>(o) + 1);
}

void report(MStatus* status, MStatus::MStatusCode code)
{
    if (status != nullptr)
        *status = code;
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

MTransformationMatrix& MTransformationMatrix::operator=(const MMatrix& m) { return *this = MTransformationMatrix(m); }

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

MVector MTransformationMatrix::getTranslation(MSpace::Space space, MStatus* ReturnStatus) const
{
    if (!validSpace(space)) {
        report(ReturnStatus, MS::kInvalidParameter);
        return MVector();
    }
    report(ReturnStatus, MS::kSuccess);
    return trans;
}

MVector MTransformationMatrix::translation(MSpace::Space space, MStatus* ReturnStatus) const
{
    return getTranslation(space, ReturnStatus);
}

MStatus MTransformationMatrix::setTranslation(const MVector& vector, MSpace::Space space)
{
    if (!validSpace(space))
        return MS::kInvalidParameter;
    trans = vector;
    return MS::kSuccess;
}

MStatus MTransformationMatrix::getScale(double scale[3], MSpace::Space space) const
{
    if (scale == nullptr || !validSpace(space))
        return MS::kInvalidParameter;
    for (int i = 0; i < 3; ++i)
        scale[i] = scl[i];
    return MS::kSuccess;
}

MStatus MTransformationMatrix::setScale(const double scale[3], MSpace::Space space)
{
    if (scale == nullptr || !validSpace(space))
        return MS::kInvalidParameter;
    for (int i = 0; i < 3; ++i)
        scl[i] = scale[i];
    return MS::kSuccess;
}

MQuaternion MTransformationMatrix::rotation(MStatus* ReturnStatus) const
{
    report(ReturnStatus, MS::kSuccess);
    return rot;
}

MEulerRotation MTransformationMatrix::eulerRotation(MStatus* ReturnStatus) const
{
    report(ReturnStatus, MS::kSuccess);
    return euler;
}

MTransformationMatrix& MTransformationMatrix::rotateTo(const MQuaternion& q, MSpace::Space space, MStatus* ReturnStatus)
{
    if (!validSpace(space)) {
        report(ReturnStatus, MS::kInvalidParameter);
        return *this;
    }
    rot = q.normal();
    euler = MEulerRotation::decompose(rot.asMatrix(), euler.order);
    report(ReturnStatus, MS::kSuccess);
    return *this;
}

MTransformationMatrix& MTransformationMatrix::rotateTo(const MEulerRotation& e, MSpace::Space space,
                                                       MStatus* ReturnStatus)
{
    if (!validSpace(space)) {
        report(ReturnStatus, MS::kInvalidParameter);
        return *this;
    }
    euler = e;
    rot = e.asQuaternion();
    report(ReturnStatus, MS::kSuccess);
    return *this;
}

MStatus MTransformationMatrix::getRotation(double rotation[3], RotationOrder& order) const
{
    if (rotation == nullptr)
        return MS::kInvalidParameter;
    rotation[0] = euler.x;
    rotation[1] = euler.y;
    rotation[2] = euler.z;
    order = fromEuler(euler.order);
    return MS::kSuccess;
}

MStatus MTransformationMatrix::setRotation(const double rotation[3], RotationOrder order)
{
    if (rotation == nullptr || !validOrder(order))
        return MS::kInvalidParameter;
    rotateTo(MEulerRotation(rotation[0], rotation[1], rotation[2], toEuler(order)));
    return MS::kSuccess;
}

MTransformationMatrix::RotationOrder MTransformationMatrix::rotationOrder(MStatus* ReturnStatus) const
{
    report(ReturnStatus, MS::kSuccess);
    return fromEuler(euler.order);
}

MStatus MTransformationMatrix::reorderRotation(const RotationOrder& order)
{
    if (!validOrder(order))
        return MS::kInvalidParameter;
    euler.reorderIt(toEuler(order));
    return MS::kSuccess;
}

bool MTransformationMatrix::isEquivalent(const MTransformationMatrix& other, double tolerance) const
{
    return asMatrix().isEquivalent(other.asMatrix(), tolerance);
}

bool MTransformationMatrix::operator==(const MTransformationMatrix& other) const
{
    return asMatrix() == other.asMatrix();
}
