#ifndef MAYA_MOBJECT_H
#define MAYA_MOBJECT_H
// Handle on a host object: a scene node, an attribute or a plug-in. Copies
// refer to the same object; a deleted node stops matching any function set.

#include <maya/MTypes.h>
#include <maya/MFn.h>

class OPENMAYA_EXPORT MObject {
public:
    // What the handle refers to; host-internal.
    enum Kind : unsigned char { kNoKind = 0, kNodeKind, kAttributeKind, kPluginKind };

    MObject() : fKind(kNoKind), fId(0) {}
    MObject(const MObject& other) = default;
    MObject& operator=(const MObject& other) = default;
    ~MObject() = default;

    // True when this object can be used with the given function-set type;
    // false for the null object and for deleted nodes.
    bool hasFn(MFn::Type fs) const;
    bool isNull() const { return fKind == kNoKind; }
    MFn::Type apiType() const;
    const char* apiTypeStr() const;

    bool operator==(const MObject& other) const { return fKind == other.fKind && fId == other.fId; }
    bool operator!=(const MObject& other) const { return !(*this == other); }

    static MObject kNullObj;

    // Host-internal: build and inspect handles.
    MObject(Kind kind, unsigned long long id) : fKind(id ? kind : kNoKind), fId(id) {}
    Kind kind() const { return fKind; }
    unsigned long long id() const { return fId; }

private:
    Kind fKind;
    unsigned long long fId;
};

#endif
