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

}  // namespace

int main(int argc, char** argv) {
    using namespace scrivlet_tool;
    CLI::App program(
        "scrivlet: write, read and check rings of log files.\n"
        "A ring is named by the same options in every command: --folder, --name, --count, "
        "--size, --header, --footer, --counter (defaults: 5 files of 10485760 bytes named "
        "LogFile_1_0001.log and on in the current directory, no header, footer or counter). "
        "In --folder, '/' separates directories; the library's own separator is '\\'.",
        "scrivlet");
    program.set_version_flag("--version", VersionText, "Print the version and the build");
    program.require_subcommand(1);

    WriteOptions write;
    CatOptions cat;
    VerifyOptions verify;
    RingOptions check;
    CLI::App* writeCommand = AddWriteCommand(program, write);
    CLI::App* catCommand = AddCatCommand(program, cat);
    CLI::App* verifyCommand = AddVerifyCommand(program, verify);
    CLI::App* checkCommand = AddCheckCommand(program, check);

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
    if (writeCommand->parsed()) return RunWrite(write);
    if (catCommand->parsed()) return RunCat(cat);
    if (verifyCommand->parsed()) return RunVerify(verify);
    if (checkCommand->parsed()) return RunCheck(check);
    return kExitUsage;
}
