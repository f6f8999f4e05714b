// scrivlet_bench: the library against the physical limit (the same write(2) calls on the same
// file system with the same flags) and against its peer, in one run, printed as one table.
//
//   scrivlet_bench table --work DIR --shm DIR [--quick] [--instructions LIB RAW]
//                        [--instructions-guarded M] [--only CASES] [--chart-data PREFIX]
//   scrivlet_bench loop lib|libm|raw DIR SIZE COUNT [THREADS]
//   scrivlet_bench pipe TOOL DIR [--quick] [--chart-data FILE] [--trickle]
//   scrivlet_bench durable-cat FILE
//
// "table" runs every case (or those whose numbers CASES lists, e.g. --only 24) and prints the
// table; DIR are folders for the files, one on the working file system and one on a RAM file
// system, created and emptied as needed. The instruction counts per Write come from a profiler
// run of "loop" (see bench/run), which writes COUNT records of SIZE bytes into DIR inside one
// function of each side (ScrivletBenchLibraryLoop, ScrivletBenchGuardedLoop for TQCLogFileM_1,
// ScrivletBenchRawLoop), so that the profiler can count only what happens within; THREADS (libm
// only) threads share the object.
//
// "pipe" runs `scrivlet write` (TOOL) against the pipe loggers in DIR (case_pipe.cpp), or with
// --trickle only its trickle (single lines, their latency against a direct durable write);
// "durable-cat" is the least a durable pipe logger does (pipe_runs.h), which the pipe command
// runs beside `scrivlet write` in its trickle.
//
// This file parses the arguments and dispatches: table.cpp runs the table (storage_probe.cpp sizes
// the runs, case_*.cpp are the cases, runs.cpp what they share), profiler_loop.cpp the loop.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "cases.h"
#include "pipe_runs.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: scrivlet_bench table --work DIR --shm DIR [--quick] "
                 "[--instructions LIB RAW] [--instructions-guarded M] [--only CASES] "
                 "[--chart-data PREFIX]\n"
                 "       scrivlet_bench loop lib|libm|raw DIR SIZE COUNT [THREADS]\n"
                 "       scrivlet_bench pipe TOOL DIR [--quick] [--chart-data FILE] [--trickle]\n"
                 "       scrivlet_bench durable-cat FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "loop") == 0) {
        if (argc != 6 && argc != 7) return Usage();
        return scrivlet::bench::RunLoop(
            argv[2], argv[3], static_cast<unsigned int>(std::atoi(argv[4])),
            static_cast<unsigned int>(std::atoi(argv[5])),
            argc == 7 ? static_cast<unsigned int>(std::atoi(argv[6])) : 1);
    }
    if (argc == 3 && std::strcmp(argv[1], "durable-cat") == 0) {
        return scrivlet::bench::DurableCat(argv[2]);
    }
    if (argc >= 4 && std::strcmp(argv[1], "pipe") == 0) {
        bool quick = false;
        bool trickle = false;
        std::string chart;
        for (int i = 4; i < argc; ++i) {
            if (std::strcmp(argv[i], "--quick") == 0) {
                quick = true;
            } else if (std::strcmp(argv[i], "--trickle") == 0) {
                trickle = true;
            } else if (std::strcmp(argv[i], "--chart-data") == 0 && i + 1 < argc) {
                chart = argv[++i];
            } else {
                return Usage();
            }
        }
        std::error_code unknown;  // then the name it was started by
        const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", unknown);
        return scrivlet::bench::RunPipe(unknown ? argv[0] : self.string(), argv[2], argv[3], quick,
                                        chart, trickle);
    }
    if (argc < 2 || std::strcmp(argv[1], "table") != 0) return Usage();
    scrivlet::bench::Settings settings;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--work" && i + 1 < argc) {
            settings.work = argv[++i];
        } else if (arg == "--shm" && i + 1 < argc) {
            settings.shm = argv[++i];
        } else if (arg == "--chart-data" && i + 1 < argc) {
            settings.chart_data = argv[++i];
        } else if (arg == "--only" && i + 1 < argc) {
            settings.only = argv[++i];
        } else if (arg == "--quick") {
            settings.quick = true;
        } else if (arg == "--instructions-guarded" && i + 1 < argc) {
            settings.instructions_guarded = std::atof(argv[++i]);
        } else if (arg == "--instructions" && i + 2 < argc) {
            settings.have_instructions = true;
            settings.instructions_lib = std::atof(argv[++i]);
            settings.instructions_raw = std::atof(argv[++i]);
        } else {
            return Usage();
        }
    }
    if (settings.work.empty() || settings.shm.empty()) return Usage();
    if (settings.quick) {
        settings.rounds = 3;
        settings.thread_rounds = 2;
        settings.run_seconds = 0.1;
        settings.shm_records = 5000;
        settings.shm_rotations = 50;
        settings.shm_thread_records = 5000;
    }
    return scrivlet::bench::RunTable(settings);
}
