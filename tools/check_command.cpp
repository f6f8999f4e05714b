// `scrivlet check`: whether the library accepts a ring's configuration, and what it describes.
// Nothing on disk is touched.
#include <CLI/CLI.hpp>
#include <iostream>

#include "commands.h"
#include "describe.h"

namespace scrivlet_tool {

CLI::App* AddCheckCommand(CLI::App& program, RingOptions& options) {
    CLI::App* command = program.add_subcommand(
        "check",
        "Check a ring's configuration with the library: prints \"ok\" and the ring, or the "
        "refusal in words (exit status 1). Touches nothing on disk.");
    AddRingOptions(*command, options);
    return command;
}

int RunCheck(const RingOptions& options) {
    TQCLogFile_1 log;
    TQCLogFile_1::tagInfoData_1 info;
    if (!InitRing(log, options, info)) {
        std::cout << DescribeFailure(info) << "\n";
        return kExitFailure;
    }
    std::cout << "ok\n"
              << options.count << " file(s) of at most " << options.size
              << " bytes: " << RingFilePath(options, 1);
    if (options.count > 1) std::cout << " to " << RingFilePath(options, options.count);
    std::cout << "\ncounter line: " << (options.counter ? "yes" : "no")
              << ", header: " << (options.header.empty() ? "none" : options.header)
              << ", footer: " << (options.footer.empty() ? "none" : options.footer) << "\n";
    return kExitOk;
}

}  // namespace scrivlet_tool
