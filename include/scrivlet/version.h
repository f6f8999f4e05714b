// The interface version: what a host checks before it relies on this library's records and
// classes. It changes only when the exported surface changes.
#ifndef SCRIVLET_VERSION_H
#define SCRIVLET_VERSION_H

#include "scrivlet/export.h"

namespace TQ_Scrivlet {

enum INTERFACEVERSION {
    INTERFACEVERSION_5 = 5,
    INTERFACEVERSION_CURRENT = INTERFACEVERSION_5,
};

}  // namespace TQ_Scrivlet

// Returns the interface version of the loaded library: always 5.
extern "C" SCRIVLET_API TQ_Scrivlet::INTERFACEVERSION ScrivletGetInterfaceVersion();

#endif  // SCRIVLET_VERSION_H
