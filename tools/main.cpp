// The command-line host `scrivlet`: pipes lines into a ring of log files (write), prints a ring
// in order or follows it (cat), reports on a ring's files (verify) and checks a configuration
// (check). It uses the library's public interface only.
#include <CLI/CLI.hpp>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "scrivlet/scrivlet.h"

namespace {

std::string VersionText() {
    std::ostringstream text;
    text << "scrivlet " << SCRIVLET_TOOL_VERSION << "\n"
         << "library interface version " << static_cast<int>(ScrivletGetInterfaceVersion())
         << " (built against " << static_cast<int>(TQ_Scrivlet::INTERFACEVERSION_CURRENT) << ")\n"
         << "build: " << SCRIVLET_TOOL_BUILD;
    return text.str();
}

std::string Description() {
    const scrivlet::RingOptions defaults;
    const scrivlet::tool::RingPlace place = scrivlet::tool::PlaceOf("", defaults.name);
    return "scrivlet: write, read and check rings of log files.\n"
           "A ring is named by the same options in every command: --folder, --name, --count, "
           "--size, --header, --footer, --counter (defaults: " +
           std::to_string(defaults.count) + " files of " + std::to_string(defaults.size) +
           " bytes named " + scrivlet::tool::FileName(place, 1) +
           " and on in the current directory, no header, footer or counter). In --folder, '/' "
           "separates directories; the library's own separator is '" SCRIVLET_FOLDER_SEPARATOR "'.";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace scrivlet::tool;
    CLI::App program(Description(), "scrivlet");
    program.set_version_flag("--version", VersionText, "Print the version and the build");
    program.require_subcommand(1);
    program.footer(
        "Exit status:\n"
        "  0    done\n"
        "  1    the library refused or failed, a file could not be read, or verify found a "
        "problem\n"
        "  2    the command line is wrong\n"
        "  128 + the signal's number: write was stopped by SIGINT or SIGTERM, once every line "
        "read is on the storage and the ring is closed\n"
        "\n"
        "Examples:\n"
        "  some-service | scrivlet write --folder /var/log/some-service --stamp --counter\n"
        "  scrivlet verify --folder /var/log/some-service --counter\n"
        "  scrivlet cat --folder /var/log/some-service --since -10m\n"
        "  scrivlet cat --folder /var/log/some-service --follow --json --cursor-file shipped.cursor"
        " | some-log-shipper\n"
        "\n"
        "scrivlet <command> --help describes a command; the man page scrivlet(1) holds every "
        "command's help.");

    WriteOptions write;
    CatOptions cat;
    VerifyOptions verify;
    RingSpec check;
    CLI::App* write_command = AddWriteCommand(program, write);
    CLI::App* cat_command = AddCatCommand(program, cat);
    CLI::App* verify_command = AddVerifyCommand(program, verify);
    CLI::App* check_command = AddCheckCommand(program, check);

    try {
        program.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = program.exit(error);
        return status == 0 ? kExitOk : kExitUsage;
    }

    if (ScrivletGetInterfaceVersion() != TQ_Scrivlet::INTERFACEVERSION_CURRENT) {
        std::cerr << "scrivlet: the loaded library has interface version "
                  << static_cast<int>(ScrivletGetInterfaceVersion()) << ", this program needs "
                  << static_cast<int>(TQ_Scrivlet::INTERFACEVERSION_CURRENT) << "\n";
        return kExitFailure;
    }
    if (write_command->parsed()) return RunWrite(write);
    if (cat_command->parsed()) return RunCat(cat);
    if (verify_command->parsed()) return RunVerify(verify);
    if (check_command->parsed()) return RunCheck(check);
    return kExitUsage;
}
