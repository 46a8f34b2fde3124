#ifndef MAYA_MFNBASE_H
#define MAYA_MFNBASE_H
// Base of the function sets. A set attaches only to compatible objects; an
// unattached set fails every call and returns neutral values.

#include <maya/MTypes.h>
#include <maya/MFn.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MFnBase {
public:
    MFnBase() = default;
    virtual ~MFnBase();

    virtual MFn::Type type() const;
    // Whether objects of the given type are compatible with this set.
    bool hasObj(MFn::Type type) const;
    bool hasObj(const MObject& object) const;
    // The attached object; MObject::kNullObj with kInvalidParameter when unattached.
    MObject object(MStatus* ReturnStatus = NULL) const;
    virtual MStatus setObject(MObject& object);
    virtual MStatus setObject(const MObject& object);

protected:
    // Attaches when compatible with type(); reports kInvalidParameter otherwise.
    MStatus attach(const MObject& object);
    bool isAttached() const { return !fObject.isNull() && fObject.hasFn(type()); }
    // The status an unattached call reports; sets *ReturnStatus when given.
    bool checkAttached(MStatus* ReturnStatus) const;

    MObject fObject;

private:
    MFnBase(const MFnBase&) = delete;
    MFnBase& operator=(const MFnBase&) = delete;
};

#endif
