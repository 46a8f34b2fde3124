#ifndef MAYA_MAPIVERSION_H
#define MAYA_MAPIVERSION_H
// The API version this host implements. Plug-ins built against it carry the
// same number in their MApiVersion record (see MFnPlugin.h).
#define MAYA_API_VERSION 450
#define MAYA_API_VERSION_STRING "450"
#endif
