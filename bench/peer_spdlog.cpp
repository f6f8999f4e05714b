// spdlog's rotating file sink as the peer of the benchmarks.
#include "peer_spdlog.h"

#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/version.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace scrivlet::bench {

struct SpdlogPeer::State {
    std::shared_ptr<spdlog::logger> logger;
    // The sink's current file, kept up to date by the after-open handler (which runs under the
    // sink's lock, while other threads may be syncing the file before).
    std::atomic<int> fd{-1};
    unsigned int opens = 0;
    bool sync = false;
};

SpdlogPeer::SpdlogPeer() : state_(new State) {}

SpdlogPeer::~SpdlogPeer() = default;

void SpdlogPeer::Start(const std::string& folder, unsigned int file_size, unsigned int file_count,
                       bool sync) {
    State* state = state_.get();
    state->sync = sync;
    state->opens = 0;
    spdlog::file_event_handlers handlers;
    handlers.after_open = [state](const spdlog::filename_t&, std::FILE* file) {
        state->fd = fileno(file);
        ++state->opens;
    };
    auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
        folder + "/spdlog.log", file_size, file_count - 1, false, handlers);
    state->logger = std::make_shared<spdlog::logger>("bench", sink);
    state->logger->set_formatter(std::unique_ptr<spdlog::formatter>(
        new spdlog::pattern_formatter("%v", spdlog::pattern_time_type::local, "")));
    state->logger->set_level(spdlog::level::info);
    state->logger->flush_on(spdlog::level::info);
}

void SpdlogPeer::Put(const void* data, unsigned int count) {
    State* state = state_.get();
    state->logger->log(spdlog::level::info,
                       spdlog::string_view_t(static_cast<const char*>(data), count));
    // A rotation on another thread may have closed the file just read (EBADF): its bytes were
    // flushed when it was closed.
    if (state->sync && fdatasync(state->fd) != 0 && errno != EBADF) {
        std::perror("scrivlet_bench: fdatasync");
        std::exit(1);
    }
}

void SpdlogPeer::Stop() {
    if (state_->logger) state_->logger->flush();
    state_->logger.reset();
    state_->fd = -1;
}

unsigned int SpdlogPeer::Opens() const { return state_->opens; }

std::string SpdlogPeer::Version() {
    char text[32];
    std::snprintf(text, sizeof text, "spdlog %d.%d.%d", SPDLOG_VER_MAJOR, SPDLOG_VER_MINOR,
                  SPDLOG_VER_PATCH);
    return text;
}

}  // namespace scrivlet::bench
