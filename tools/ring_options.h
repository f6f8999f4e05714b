// The options that name a ring, the same in every command, and what follows from them: the
// ring library's options, where the files lie, and what the reader may expect in them.
#ifndef SCRIVLET_TOOLS_RING_OPTIONS_H
#define SCRIVLET_TOOLS_RING_OPTIONS_H

#include <string>

#include "ring_files.h"
#include "scrivlet/ring.h"

namespace CLI {
class App;
}

namespace scrivlet::tool {

struct RingSpec {
    scrivlet::RingOptions options;  // folder, name, count, size, header, footer, counter
    bool header_given = false;      // --header was given (perhaps empty: no header line)
    bool footer_given = false;

    RingPlace Place() const { return PlaceOf(options.folder, options.name); }
    LayoutHints Hints() const;
};

// Adds --folder, --name, --count, --size, --header, --footer and --counter to a command; after
// parsing, header_given and footer_given tell whether --header and --footer were given.
void AddRingOptions(CLI::App& command, RingSpec& ring);

}  // namespace scrivlet::tool

#endif  // SCRIVLET_TOOLS_RING_OPTIONS_H
