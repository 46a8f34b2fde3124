// The "qmf" file translator as the host sees it. It keeps no state: every
// read or write builds its own worker.
#ifndef QMF_PLUGIN_ANIMFILETRANSLATOR_H
#define QMF_PLUGIN_ANIMFILETRANSLATOR_H

#include <maya/MPxFileTranslator.h>
#include <maya/MString.h>

// Translator name, also the default file extension.
constexpr const char* kTranslatorName = "qmf";
constexpr const char* kTranslatorPixmap = "MovantisFileTranslator.rgb";

class AnimFileTranslator : public MPxFileTranslator
{
public:
    AnimFileTranslator() = default;
    ~AnimFileTranslator() override = default;

    MStatus reader(const MFileObject& file, const MString& optionsString,
                   FileAccessMode mode) override;
    MStatus writer(const MFileObject& file, const MString& optionsString,
                   FileAccessMode mode) override;
    bool haveReadMethod() const override;
    bool haveWriteMethod() const override;
    MString defaultExtension() const override;
    bool canBeOpened() const override;
    MFileKind identifyFile(const MFileObject& file, const char* buffer,
                           short size) const override;

    // Handed to the host at registration; null when memory is short.
    static void* creatorFunction();
};

#endif
