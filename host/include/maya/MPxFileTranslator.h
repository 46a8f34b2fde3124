#ifndef MAYA_MPXFILETRANSLATOR_H
#define MAYA_MPXFILETRANSLATOR_H
// Base class of file translators. The host creates translators through the
// creator function given at registration and owns them.

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

class MFileObject;

class OPENMAYA_EXPORT MPxFileTranslator {
public:
    enum MFileKind { kIsMyFileType = 0, kCouldBeMyFileType, kNotMyFileType };
    enum FileAccessMode {
        kUnknownAccessMode = 0,
        kOpenAccessMode,
        kReferenceAccessMode,
        kImportAccessMode,
        kSaveAccessMode,
        kExportAccessMode,
        kExportActiveAccessMode
    };

    MPxFileTranslator();
    virtual ~MPxFileTranslator();

    // Defaults: reader/writer fail (kFailure); no read, write, namespace or
    // reference support; no extension; can be opened; not my file type.
    virtual MStatus reader(const MFileObject& file, const MString& optionsString, FileAccessMode mode);
    virtual MStatus writer(const MFileObject& file, const MString& optionsString, FileAccessMode mode);
    virtual bool haveReadMethod() const;
    virtual bool haveWriteMethod() const;
    virtual bool haveNamespaceSupport() const;
    virtual bool haveReferenceMethod() const;
    virtual MString defaultExtension() const;
    // "*.<defaultExtension()>", or "*.*" when there is none.
    virtual MString filter() const;
    virtual bool canBeOpened() const;
    virtual MFileKind identifyFile(const MFileObject& file, const char* buffer, short size) const;

    // The access mode of the read or write in progress.
    static FileAccessMode fileAccessMode();
    // Host-internal: set by the host around reader()/writer() calls.
    static void setFileAccessMode(FileAccessMode mode);

private:
    MPxFileTranslator(const MPxFileTranslator&) = delete;
    MPxFileTranslator& operator=(const MPxFileTranslator&) = delete;
};

#endif
