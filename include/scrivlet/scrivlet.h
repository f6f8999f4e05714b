// Scrivlet: bounded, durable rings of log files. Include this header for the whole interface.
#ifndef SCRIVLET_SCRIVLET_H
#define SCRIVLET_SCRIVLET_H

#include "scrivlet/datetime.h"
#include "scrivlet/export.h"
#include "scrivlet/folder.h"
#include "scrivlet/logfile.h"
#include "scrivlet/logfile_m.h"
#include "scrivlet/scrivlet_c.h"
#include "scrivlet/version.h"

#endif  // SCRIVLET_SCRIVLET_H
