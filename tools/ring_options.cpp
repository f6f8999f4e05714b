// The ring options of every command (see ring_options.h). Their limits and defaults are the
// library's own.
#include "ring_options.h"

#include <CLI/CLI.hpp>

#include "scrivlet/format.h"

namespace scrivlet::tool {

LayoutHints RingSpec::Hints() const {
    LayoutHints hints;
    hints.header_given = header_given;
    hints.header = options.header;
    hints.footer_given = footer_given;
    hints.footer = options.footer;
    return hints;
}

void AddRingOptions(CLI::App& command, RingSpec& ring) {
    using Limits = TQCLogFile_1;
    command
        .add_option("-d,--folder", ring.options.folder,
                    "Folder of the ring's files (created as needed); '/' separates directories. "
                    "Default: the current directory")
        ->group("Ring");
    command
        .add_option("-n,--name", ring.options.name,
                    "Base file name: files are " + FileName(PlaceOf("", "<name>"), 1) +
                        " and on; cut at its first '" + format::kNameEnd + "'")
        ->capture_default_str()
        ->group("Ring");
    command
        .add_option("-c,--count", ring.options.count,
                    "Number of files in the ring (" + std::to_string(Limits::FILECOUNT_MIN) +
                        " to " + std::to_string(Limits::FILECOUNT_MAX) + ")")
        ->capture_default_str()
        ->group("Ring");
    command
        .add_option("-s,--size", ring.options.size,
                    "Largest size of one file in bytes (" + std::to_string(Limits::FILESIZE_MIN) +
                        " to " + std::to_string(Limits::FILESIZE_MAX) + ")")
        ->capture_default_str()
        ->group("Ring");
    const std::string most =
        " (at most " + std::to_string(Limits::LINETEXT_MAX_LENGTH) + " characters)";
    command
        .add_option("--header", ring.options.header, "Header text at the top of each file" + most)
        ->group("Ring")
        ->each([&ring](const std::string&) { ring.header_given = true; });
    command.add_option("--footer", ring.options.footer, "Footer text that closes each file" + most)
        ->group("Ring")
        ->each([&ring](const std::string&) { ring.footer_given = true; });
    command.add_flag("--counter", ring.options.counter, "A counter line opens each file")
        ->group("Ring");
}

}  // namespace scrivlet::tool
