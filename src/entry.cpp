// Module entry: the allocation-failure handler kept from load to unload (the library's only
// global state), and the interface version.
#include "entry.h"

#include "platform/platform.h"
#include "scrivlet/version.h"

namespace scrivlet {
namespace {

os::NewHandler g_saved_handler = nullptr;

// Declines every retry, so that an allocation that fails fails at once.
int DeclineAllocation(std::size_t) { return 0; }

}  // namespace

void ProcessAttach() {
    g_saved_handler = os::_set_new_handler(DeclineAllocation);
    os::_set_new_mode(1);
}

void ProcessDetach() { os::_set_new_handler(g_saved_handler); }

}  // namespace scrivlet

TQ_Scrivlet::INTERFACEVERSION ScrivletGetInterfaceVersion() {
    return TQ_Scrivlet::INTERFACEVERSION_5;
}
