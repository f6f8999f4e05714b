// Continuing a ring after a restart: finding its newest file, and making that file end cleanly
// before the new run's lines follow.
//
// Every file of the ring's name and count is looked at through the platform layer (the first and
// the last lines only: a ring of many large files opens quickly), and the newest is the last in
// the order that the readers use (scrivlet/reading/order.h). Files that cannot be opened for
// reading or are not regular files are not the ring's and are left alone.
//
// The end of a file that a crash cut short: in a text ring every acknowledged record ends in
// CR LF, so the bytes behind the last line end are a record that was never acknowledged and are
// dropped, as long as they are fewer than kTornTailLimit; a longer unfinished tail (a file written
// in another encoding) is ended with CR LF instead, so that nothing is ever dropped that could
// have been acknowledged. In a raw ring the records are the host's bytes: a tail that does not
// end in LF is ended with LF. A file that holds no record behind its opening lines starts again
// from its top. The cut need not reach the storage before the new run's lines are
// written over the dropped bytes: a power cut that loses it leaves a torn tail behind the last
// line end again, which the next restart drops.
#ifndef SCRIVLET_RING_RESUME_H
#define SCRIVLET_RING_RESUME_H

#include <cstdint>
#include <functional>

#include "platform/platform.h"
#include "ring/group_commit.h"
#include "scrivlet/reading/layout.h"

namespace scrivlet {
namespace detail {

using reading::kTornTailLimit;  // the readers drop the same tail

// The newest file of a ring.
struct NewestFile {
    unsigned int number = 0;  // 0: the ring has no file with anything in it
    bool counter = false;     // it opens with a counter line
    std::uint32_t counter_value = 0;
    std::uint32_t largest_counter = 0;  // the largest counter of any file (0: none)
    std::uint64_t size = 0;
    std::uint64_t records_begin = 0;  // behind its opening lines
    bool footer = false;              // it ends with a footer line
    bool torn_line = false;           // it ends inside its opening lines
};

// Looks at files 1 to count, whose paths path_of forms (a path valid until the next call).
NewestFile FindNewest(unsigned int count,
                      const std::function<const TQ_WCHAR*(unsigned int)>& path_of);

// Makes the file open as file end cleanly as encoding says (see above) and leaves its file
// pointer at its end; a line end that would take the file past limit bytes is left out. Returns
// the file's size then, or false with the platform's last error.
bool EndCleanly(os::HANDLE file, const NewestFile& newest, Encoding encoding, std::uint64_t limit,
                std::uint64_t& size);

}  // namespace detail
}  // namespace scrivlet

#endif  // SCRIVLET_RING_RESUME_H
