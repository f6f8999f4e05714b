// scrivlet::spdlog_sink: an spdlog sink that writes into a ring (header only; for hosts that
// use spdlog, linked with Scrivlet::ring and spdlog).
//
//   scrivlet::RingOptions options;
//   options.folder = "logs/app";
//   auto sink = std::make_shared<scrivlet::spdlog_sink>(options);
//   auto logger = std::make_shared<spdlog::logger>("app", sink);
//   logger->info("pump {} started", 3);   // on the storage when info() returns
//
// Every message is one record of the ring, durable when the logging call returns, so flush()
// has nothing left to do. Loggers on many threads reach Ring::write concurrently (only the
// formatting takes a lock), so that their messages are written in groups; spdlog's base_sink
// would take one lock around the whole write and serialise them. A message the ring cannot take
// goes to spdlog's error handler (spdlog::spdlog_ex with the ring's words).
#ifndef SCRIVLET_SPDLOG_SINK_H
#define SCRIVLET_SPDLOG_SINK_H

#include <spdlog/details/log_msg.h>
#include <spdlog/formatter.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/sink.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "scrivlet/ring.h"

namespace scrivlet {

class spdlog_sink final : public spdlog::sinks::sink {
  public:
    // Opens the ring; throws spdlog::spdlog_ex with the ring's words when it cannot.
    explicit spdlog_sink(const RingOptions& options)
        : formatter_(std::make_unique<spdlog::pattern_formatter>()) {
        Error error;
        if (!ring_.open(options, error)) throw spdlog::spdlog_ex(error.message());
    }

    // Writes one message as one record; throws spdlog::spdlog_ex (which the logger hands to its
    // error handler) when the ring refuses or fails it.
    void log(const spdlog::details::log_msg& message) override {
        spdlog::memory_buf_t text;
        {
            std::lock_guard<std::mutex> lock(formatter_mutex_);
            formatter_->format(message, text);
        }
        Error error;
        if (!ring_.write(std::string_view(text.data(), text.size()), error)) {
            throw spdlog::spdlog_ex("scrivlet ring: " + error.message());
        }
    }

    void flush() override {}

    void set_pattern(const std::string& pattern) override {
        set_formatter(std::make_unique<spdlog::pattern_formatter>(pattern));
    }

    void set_formatter(std::unique_ptr<spdlog::formatter> formatter) override {
        std::lock_guard<std::mutex> lock(formatter_mutex_);
        formatter_ = std::move(formatter);
    }

    // The ring itself, for its path, its largest record or its counts.
    Ring& ring() { return ring_; }

  private:
    std::mutex formatter_mutex_;
    std::unique_ptr<spdlog::formatter> formatter_;
    Ring ring_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_SPDLOG_SINK_H
