// The five-minute start: a ring of five files of 1 MiB in logs/app, a few records from four
// threads, each on the storage when write() returns, then the footer and close.
//
// Usage: example_quickstart [folder]   (default: logs/app)
// Read the ring back with: scrivlet cat --folder logs/app --lines
#include <scrivlet/ring.h>

#include <iostream>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    scrivlet::RingOptions options;
    options.folder = argc > 1 ? argv[1] : "logs/app";  // '/' separates directories
    options.count = 5;                                 // files in the ring
    options.size = 1 << 20;                            // bytes per file
    options.header = "pump station 3";                 // opens every file (after the counter)
    options.footer = "end of file";                    // closes every file
    options.counter = true;

    scrivlet::Ring ring;
    scrivlet::Error error;
    if (!ring.open(options, error)) {
        std::cerr << "cannot open the ring: " << error.message() << '\n';
        return 1;
    }
    std::vector<std::thread> pumps;
    for (int pump = 1; pump <= 4; ++pump) {
        pumps.emplace_back([&ring, pump] {
            scrivlet::Error mine;
            for (int step = 1; step <= 25; ++step) {
                const std::string record =
                    "pump " + std::to_string(pump) + " step " + std::to_string(step);
                if (!ring.write(record, mine)) std::cerr << mine.message() << '\n';
            }
        });
    }
    for (std::thread& pump : pumps) pump.join();

    const scrivlet::RingStats stats = ring.stats();
    std::cout << stats.records << " records in " << stats.writes << " write-through calls, in "
              << ring.path() << '\n';
    if (!ring.close(error)) {
        std::cerr << "cannot close the ring: " << error.message() << '\n';
        return 1;
    }
    return 0;
}
