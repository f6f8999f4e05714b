// Orderly stop on SIGINT and SIGTERM: the handler only sets a flag; the command's loop notices it
// (a blocking read returns EINTR, since the handler is installed without SA_RESTART), finishes
// the ring and exits.
#ifndef SCRIVLET_TOOLS_SIGNALS_H
#define SCRIVLET_TOOLS_SIGNALS_H

namespace scrivlet::tool {

// Installs the handler for SIGINT and SIGTERM and ignores SIGPIPE (a closed pipe then shows as
// EPIPE on write).
void InstallStopHandlers();

// The signal that asked to stop, or 0.
int StopSignal();

}  // namespace scrivlet::tool

#endif  // SCRIVLET_TOOLS_SIGNALS_H
