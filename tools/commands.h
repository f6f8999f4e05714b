// The commands of the command-line host: each adds itself to the program's parser and runs with
// the options it was given. Every Run function returns the process's exit status.
#ifndef SCRIVLET_TOOLS_COMMANDS_H
#define SCRIVLET_TOOLS_COMMANDS_H

#include <string>

#include "ring_options.h"

namespace CLI {
class App;
}

namespace scrivlet::tool {

// Exit statuses shared by the commands.
enum ExitStatus {
    kExitOk = 0,
    kExitFailure = 1,  // the library refused or failed, a file could not be read, or verify
                       // found a problem
    kExitUsage = 2,    // the command line itself is wrong
};

struct WriteOptions {
    RingSpec ring;
    bool raw = false;
    bool stamp = false;
    bool quiet = false;
    bool fresh = false;  // start at file 1, replacing it, instead of continuing the ring
    bool stats = false;
};
CLI::App* AddWriteCommand(CLI::App& program, WriteOptions& options);
int RunWrite(const WriteOptions& options);

struct CatOptions {
    RingSpec ring;
    bool lines = false;
    bool raw = false;
    bool json = false;
    bool follow = false;
    double interval = 0.2;  // seconds between looks at the files while following
    std::string since;      // as given; empty: no bound
    std::string until;
    std::string cursor_file;  // empty: none
};
CLI::App* AddCatCommand(CLI::App& program, CatOptions& options);
int RunCat(const CatOptions& options);

struct VerifyOptions {
    RingSpec ring;
    bool json = false;
    bool raw = false;
};
CLI::App* AddVerifyCommand(CLI::App& program, VerifyOptions& options);
int RunVerify(const VerifyOptions& options);

CLI::App* AddCheckCommand(CLI::App& program, RingSpec& options);
int RunCheck(const RingSpec& options);

}  // namespace scrivlet::tool

#endif  // SCRIVLET_TOOLS_COMMANDS_H
