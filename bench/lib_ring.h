// The library side of the benchmarks: a log file object of either class, configured the same way
// for every case (counter line, header and footer, so that each file carries every kind of line
// that the library writes), and the shape of the ring that the raw baseline copies.
#ifndef SCRIVLET_BENCH_LIB_RING_H
#define SCRIVLET_BENCH_LIB_RING_H

#include <cstdio>
#include <cstdlib>
#include <string>

#include "raw_ring.h"
#include "scrivlet/scrivlet.h"

namespace scrivlet::bench {

// The texts of the header and footer lines.
extern const char kHeaderText[];
extern const char kFooterText[];

// Fills a fixed wide-text field from ASCII text; false if it does not fit.
bool PutWide(TQ_WCHAR* field, std::size_t elements, const std::string& text);

// Reports a failure of the library with its error record and ends the benchmark: a number
// measured around failing calls would mean nothing.
[[noreturn]] void Die(const char* what, const TQCLogFile_1::tagInfoData_1& info);

// A log file object that also tells the line lengths it settled on, for the raw ring's shape.
template <class Log>
class LibRing : public Log {
  public:
    // Configures the object for a ring of file_count files of file_size bytes in folder and
    // switches it on (file 1, with its counter and header lines).
    void Start(const std::string& folder, unsigned int file_size, unsigned int file_count) {
        typename Log::tagInitData_1 init = {};
        init.bCounter = true;
        init.uiFileCount = file_count;
        init.uiFileSize = file_size;
        if (!PutWide(init.szFolder, 196, folder) || !PutWide(init.szFileName, 56, "lib") ||
            !PutWide(init.szHeader, 64, kHeaderText) || !PutWide(init.szFooter, 64, kFooterText)) {
            std::fprintf(stderr, "scrivlet_bench: folder too long: %s\n", folder.c_str());
            std::exit(1);
        }
        typename Log::tagInfoData_1 info = {};
        if (!this->Init(&init, &info)) Die("Init", info);
        if (!this->Switch(true, &info)) Die("Switch(true)", info);
    }

    // Writes one record; a failure ends the benchmark.
    void Put(const void* data, unsigned int count) {
        typename Log::tagInfoData_1 info = {};
        if (!this->Write(data, count, &info)) Die("Write", info);
    }

    // One rotation as Write does it: Switch(false), then Switch(true).
    void Rotate() {
        typename Log::tagInfoData_1 info = {};
        if (!this->Switch(false, &info)) Die("Switch(false)", info);
        if (!this->Switch(true, &info)) Die("Switch(true)", info);
    }

    // Footer and close.
    void Stop() {
        typename Log::tagInfoData_1 info = {};
        if (!this->Exit(&info)) Die("Exit", info);
    }

    // The shape that the raw ring copies.
    Shape GetShape() const {
        Shape shape;
        shape.file_size = this->m_uiFileSize;
        shape.file_count = this->m_uiFileCount;
        shape.counter = this->m_bCounter;
        shape.header_bytes = 2 * this->m_uiHeaderLength;
        shape.footer_bytes = 2 * this->m_uiFooterLength;
        return shape;
    }

    unsigned int FileNumber() const { return this->m_uiFileNumber; }
};

}  // namespace scrivlet::bench

#endif  // SCRIVLET_BENCH_LIB_RING_H
