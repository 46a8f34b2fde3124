#ifndef MAYA_MFILEOBJECT_H
#define MAYA_MFILEOBJECT_H
// A file name split into path and name. There is no project here: a
// relative name resolves against the current directory.

#include <maya/MTypes.h>
#include <maya/MString.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MFileObject {
public:
    enum MFileResolveMethod {
        kNone = 1,
        kExact = 2,
        kDirMap = 4,
        kReferenceMappings = 8,
        kRelative = 16,
        kBaseName = 32,
        kInputFile = kExact | kDirMap | kRelative | kBaseName,
        kInputReference = kInputFile | kReferenceMappings,
        kStrict = kExact | kDirMap
    };

    MFileObject() = default;
    MFileObject(const MFileObject& other) = default;
    MFileObject& operator=(const MFileObject& other) = default;
    virtual ~MFileObject();

    // path = everything before the last '/', name = the rest; without a
    // '/', path "." and the whole string as name.
    MStatus setRawFullName(const MString& fullName);
    MStatus setRawName(const MString& name);
    MStatus setRawPath(const MString& path);
    MString rawFullName() const;
    MString rawName() const { return fName; }
    MString rawPath() const { return fPath; }

    // "$VAR" and "${VAR}" are expanded from the environment.
    MString expandedFullName() const;
    MString expandedPath() const;
    // The expanded full name made absolute; "" when nothing is set.
    MString resolvedFullName() const;
    MString resolvedName() const;
    MString resolvedPath() const;

    // Older names: fullName() is the expanded full name.
    MStatus setName(const MString& name) { return setRawName(name); }
    MStatus setFullName(const MString& fullName) { return setRawFullName(fullName); }
    MString name() const { return fName; }
    MString path() const { return fPath; }
    MString fullName() const { return expandedFullName(); }

    bool exists() const;
    bool isSet() const { return fSet; }

private:
    MString fPath;
    MString fName;
    bool fSet = false;
};

#endif
