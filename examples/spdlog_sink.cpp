// spdlog into a ring: one line of set-up, then the usual logger. Every message is on the
// storage when the logging call returns; loggers on several threads are written in groups.
//
// Usage: example_spdlog_sink [folder]   (default: logs/spdlog)
#include <scrivlet/spdlog_sink.h>
#include <spdlog/spdlog.h>

#include <memory>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    scrivlet::RingOptions options;
    options.folder = argc > 1 ? argv[1] : "logs/spdlog";
    options.size = 1 << 20;
    auto sink = std::make_shared<scrivlet::spdlog_sink>(options);
    auto logger = std::make_shared<spdlog::logger>("pumps", sink);
    logger->set_pattern("%Y-%m-%d %H:%M:%S.%e [%l] %v");

    std::vector<std::thread> pumps;
    for (int pump = 1; pump <= 4; ++pump) {
        pumps.emplace_back([&logger, pump] {
            for (int step = 1; step <= 25; ++step) logger->info("pump {} step {}", pump, step);
        });
    }
    for (std::thread& pump : pumps) pump.join();
    logger->warn("{} records written to {}", sink->ring().stats().records, sink->ring().path());
    return 0;
}
