// Case 7: heap allocations of one writer on the RAM file system, per Write that stays in its file
// and per Write that rotates, for both classes and the peer, and per Write of the thread case;
// the target: none at all. Small files, so that many Writes rotate.
#include <cstdint>
#include <string>
#include <vector>

#include "alloc_count.h"
#include "cases.h"
#include "files.h"
#include "runs.h"
#if defined(SCRIVLET_BENCH_SPDLOG)
#include "peer_spdlog.h"
#endif

namespace scrivlet::bench {
namespace {

// Allocations per Write and per rotation of one writer: small files, so that many Writes
// rotate; a Write during which the file number changed counts as a rotation.
struct HeapCount {
    std::uint64_t writes = 0;
    std::uint64_t write_allocations = 0;
    std::uint64_t rotations = 0;
    std::uint64_t rotation_allocations = 0;
    double PerWrite() const { return writes ? double(write_allocations) / double(writes) : 0; }
    double PerRotation() const {
        return rotations ? double(rotation_allocations) / double(rotations) : 0;
    }
};

const unsigned int kHeapFileSize = 65536;
const unsigned int kHeapRecords = 3000;

template <class Log>
void HeapLibrary(const std::string& folder, unsigned int size, HeapCount& heap) {
    Prepare(folder);
    const std::vector<char> record = MakeRecord(size);
    Log log;
    log.Start(folder, kHeapFileSize, 4);
    for (unsigned int i = 0; i < kHeapRecords; ++i) {
        const unsigned int number = log.FileNumber();
        const std::uint64_t before = AllocationCount();
        log.Put(record.data(), size);
        const std::uint64_t allocations = AllocationCount() - before;
        if (log.FileNumber() != number) {
            ++heap.rotations;
            heap.rotation_allocations += allocations;
        } else {
            ++heap.writes;
            heap.write_allocations += allocations;
        }
    }
    log.Stop();
}

#if defined(SCRIVLET_BENCH_SPDLOG)
void HeapPeer(const std::string& folder, unsigned int size, HeapCount& heap) {
    Prepare(folder);
    const std::vector<char> record = MakeRecord(size);
    SpdlogPeer peer;
    peer.Start(folder, kHeapFileSize, 4, false);
    for (unsigned int i = 0; i < kHeapRecords; ++i) {
        const unsigned int opens = peer.Opens();
        const std::uint64_t before = AllocationCount();
        peer.Put(record.data(), size);
        const std::uint64_t allocations = AllocationCount() - before;
        if (peer.Opens() != opens) {
            ++heap.rotations;
            heap.rotation_allocations += allocations;
        } else {
            ++heap.writes;
            heap.write_allocations += allocations;
        }
    }
    peer.Stop();
}
#endif

}  // namespace

void HeapCase(const Settings& settings, Table& table, std::uint64_t guarded_allocations,
              std::uint64_t guarded_writes, std::uint64_t ring_allocations,
              std::uint64_t ring_writes) {
    const std::string folder = settings.shm + "/heap";
    HeapCount lib_rotation, guarded_rotation, peer_rotation;
    for (unsigned int size : kRecordSizes) {
        HeapCount lib, guarded, peer;
        HeapLibrary<Lib>(folder, size, lib);
        HeapLibrary<LibM>(folder, size, guarded);
        std::string peer_cell = "not built";
#if defined(SCRIVLET_BENCH_SPDLOG)
        HeapPeer(folder, size, peer);
        peer_cell = Fixed(peer.PerWrite(), 2) + " spdlog";
#endif
        const bool met = lib.write_allocations == 0 && guarded.write_allocations == 0;
        table.Add(Row{"7 heap " + SizeName(size) + ": allocations per Write (TQCLogFile_1 / M_1)",
                      Fixed(lib.PerWrite(), 2) + " / " + Fixed(guarded.PerWrite(), 2), peer_cell,
                      "-", "0", Verdict(met)});
        lib_rotation.rotations += lib.rotations;
        lib_rotation.rotation_allocations += lib.rotation_allocations;
        guarded_rotation.rotations += guarded.rotations;
        guarded_rotation.rotation_allocations += guarded.rotation_allocations;
        peer_rotation.rotations += peer.rotations;
        peer_rotation.rotation_allocations += peer.rotation_allocations;
    }
    std::string peer_cell = "not built";
#if defined(SCRIVLET_BENCH_SPDLOG)
    peer_cell = Fixed(peer_rotation.PerRotation(), 2) + " spdlog";
#endif
    const bool met =
        lib_rotation.rotation_allocations == 0 && guarded_rotation.rotation_allocations == 0;
    table.Add(
        Row{"7 heap: allocations per rotating Write (TQCLogFile_1 / M_1)",
            Fixed(lib_rotation.PerRotation(), 2) + " / " + Fixed(guarded_rotation.PerRotation(), 2),
            peer_cell, "-", "0", Verdict(met)});
    table.Add(
        Row{"7 heap: allocations per Write in the thread runs (M_1)",
            Fixed(guarded_writes ? double(guarded_allocations) / double(guarded_writes) : 0, 2),
            "-", "-", "0", Verdict(guarded_allocations == 0)});
    table.Add(Row{"7 heap: allocations per Ring::write in the group commit runs",
                  Fixed(ring_writes ? double(ring_allocations) / double(ring_writes) : 0, 2), "-",
                  "-", "0", Verdict(ring_allocations == 0)});
    RemoveFolder(folder);
}

}  // namespace scrivlet::bench
