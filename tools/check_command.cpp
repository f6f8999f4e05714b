// `scrivlet check`: whether the library accepts a ring's configuration, and what it describes.
// Nothing on disk is touched.
#include <CLI/CLI.hpp>
#include <iostream>

#include "commands.h"

namespace scrivlet::tool {

CLI::App* AddCheckCommand(CLI::App& program, RingSpec& options) {
    CLI::App* command = program.add_subcommand(
        "check",
        "Check a ring's configuration with the library: prints \"ok\" and the ring, or the "
        "refusal in words (exit status 1). Touches nothing on disk.");
    AddRingOptions(*command, options);
    return command;
}

int RunCheck(const RingSpec& ring) {
    scrivlet::Error error;
    if (!scrivlet::Ring::check(ring.options, error)) {
        std::cout << error.message() << "\n";
        return kExitFailure;
    }
    const scrivlet::RingOptions& options = ring.options;
    const RingPlace place = ring.Place();
    std::cout << "ok\n"
              << options.count << " file(s) of at most " << options.size
              << " bytes: " << FilePath(place, 1);
    if (options.count > 1) std::cout << " to " << FilePath(place, options.count);
    std::cout << "\ncounter line: " << (options.counter ? "yes" : "no")
              << ", header: " << (options.header.empty() ? "none" : options.header)
              << ", footer: " << (options.footer.empty() ? "none" : options.footer) << "\n";
    return kExitOk;
}

}  // namespace scrivlet::tool
