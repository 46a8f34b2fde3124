#include "plugin/AnimFileTranslator.h"

#include <new>

#include "export/AnimExporter.h"
#include "import/AnimImporter.h"
#include "interfaces/AnimLibrary.h"
#include "interfaces/HostApi.h"

void* AnimFileTranslator::creatorFunction()
{
    return new (std::nothrow) AnimFileTranslator();
}

// Options and access mode are ignored: exporting the selection writes the
// same file as exporting everything, and every import is the same.
MStatus AnimFileTranslator::reader(const MFileObject& file, const MString& /*optionsString*/,
                                   FileAccessMode /*mode*/)
{
    MStatus status = MStatus::kSuccess;
    const MString path = file.fullName();
    AnimImporter importer(path);

    status = importer.readFile();
    if (status == MStatus::kFailure) {
        status.perror("Failure reading Movantis animation");
        return status;
    }
    status = importer.mapToScene();
    if (status == MStatus::kFailure)
        status.perror("Failure mapping Movantis animation data to Maya scene graph");
    return status;
}

MStatus AnimFileTranslator::writer(const MFileObject& file, const MString& /*optionsString*/,
                                   FileAccessMode /*mode*/)
{
    MStatus status = MStatus::kSuccess;
    const MString path = file.fullName();
    AnimExporter exporter(path);

    status = exporter.convertScene();
    if (status == MStatus::kFailure) {
        status.perror("Failure converting Maya scene graph to Movantis animation");
        return status;
    }
    status = exporter.save();
    if (status == MStatus::kFailure)
        status.perror("Failure writing Movantis file");
    return status;
}

bool AnimFileTranslator::haveReadMethod() const
{
    return true;
}

bool AnimFileTranslator::haveWriteMethod() const
{
    return true;
}

MString AnimFileTranslator::defaultExtension() const
{
    return MString(kTranslatorName);
}

bool AnimFileTranslator::canBeOpened() const
{
    return true;
}

// Only the library's view of the path decides; the preview bytes are not read.
MPxFileTranslator::MFileKind AnimFileTranslator::identifyFile(const MFileObject& file,
                                                              const char* /*buffer*/,
                                                              short /*size*/) const
{
    const MString path = file.fullName();
    FM_FILE_IDENTIFIER_TYPE identifier{};
    if (!kell::ok(fm_path_name_to_file_id_f(path.asChar(), &identifier))) {
        MStatus status;
        status.perror("Failure creating file identifier");
        return kNotMyFileType;
    }
    if (dc_file_document_kind_get_f(&identifier) == DC_KIND_MOVANTIS_ANIMATION)
        return kIsMyFileType;
    return kNotMyFileType;
}
