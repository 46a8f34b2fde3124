// The module's entry points. This is the one translation unit that includes
// MFnPlugin.h, which also defines the API version record the host reads.
#include <maya/MFnPlugin.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

#include "interfaces/AnimLibrary.h"
#include "plugin/AnimFileTranslator.h"

PLUGIN_EXPORT MStatus initializePlugin(MObject obj)
{
    MFnPlugin plugin(obj, "Movantis File Translator", "3.0", "Any");

    MStatus status = plugin.registerFileTranslator(MString(kTranslatorName), kTranslatorPixmap,
                                                   AnimFileTranslator::creatorFunction, nullptr,
                                                   nullptr, false);
    if (!status) {
        // The library is not started for a translator the host refused.
        status.perror("registerFileTranslator");
        return status;
    }

    if (!kell::ok(mvl_movantis_lib_initialize_lite_f())) {
        // The translator stays registered; the host learns of the failure.
        status.perror("Failure initializing Kell.dll");
        return MStatus(MStatus::kFailure);
    }
    return status;
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj)
{
    MFnPlugin plugin(obj, "Unknown", "Unknown", "Any");

    // Stopped first and always, whether or not the translator was registered.
    mvl_movantis_lib_exit();

    MStatus status = plugin.deregisterFileTranslator(MString(kTranslatorName));
    if (!status)
        status.perror("deregisterFileTranslator");
    return status;
}
