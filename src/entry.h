// What the library does when a process loads and unloads it. The platform's load-time hooks
// (DllMain on Windows, a shared-object constructor elsewhere) call these.
#ifndef SCRIVLET_LIBRARY_ENTRY_H
#define SCRIVLET_LIBRARY_ENTRY_H

namespace scrivlet {

// Installs an allocation-failure handler that declines to retry and keeps the one it replaces;
// asks the runtime to call it for plain allocations too.
void ProcessAttach();

// Reinstalls the handler kept at load time.
void ProcessDetach();

}  // namespace scrivlet

#endif  // SCRIVLET_LIBRARY_ENTRY_H
