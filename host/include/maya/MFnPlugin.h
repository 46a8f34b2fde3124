#ifndef MAYA_MFNPLUGIN_H
#define MAYA_MFNPLUGIN_H
// Registration of what a plug-in provides. Include this header in one
// translation unit of a plug-in only: it defines the plug-in's MApiVersion
// record, which the host reads when it loads the module (define
// MNoVersionString in any other unit that needs the class).

#include <maya/MTypes.h>
#include <maya/MApiVersion.h>
#include <maya/MFnBase.h>
#include <maya/MString.h>

#ifndef MNoVersionString
// Braced form of extern "C" PLUGIN_EXPORT char MApiVersion[] = "...": the same
// definition, without the compiler's warning about an initialised extern.
extern "C" {
PLUGIN_EXPORT char MApiVersion[] = MAYA_API_VERSION_STRING;
}
#endif

typedef void* (*MCreatorFunction)();

class OPENMAYA_EXPORT MFnPlugin : public MFnBase {
public:
    MFnPlugin();
    // object must be the plug-in object handed to initializePlugin /
    // uninitializePlugin; anything else gives kInvalidParameter and an
    // unattached set. The vendor and version are recorded on the plug-in;
    // requiredApiVersion is not used.
    MFnPlugin(MObject& object, const char* vendor = "Unknown", const char* version = "Unknown",
              const char* requiredApiVersion = "Any", MStatus* ReturnStatus = 0L);
    ~MFnPlugin() override;

    MFn::Type type() const override;

    MString vendor(MStatus* ReturnStatus = NULL) const;
    MString version(MStatus* ReturnStatus = NULL) const;
    MString apiVersion(MStatus* ReturnStatus = NULL) const;
    MString name(MStatus* ReturnStatus = NULL) const;
    MString loadPath(MStatus* ReturnStatus = NULL) const;

    // Adds a file translator to the host's registry. kFailure when the set is
    // not attached to a plug-in, the name is empty or already registered, or
    // the creator is null.
    MStatus registerFileTranslator(const MString& translatorName, const char* pixmapName,
                                   MCreatorFunction creatorFunction,
                                   const char* optionsScriptName = NULL,
                                   const char* defaultOptionsString = NULL,
                                   bool requiresFullMel = false);
    // Withdraws a translator this plug-in registered; kFailure otherwise.
    MStatus deregisterFileTranslator(const MString& translatorName);
};

#endif
