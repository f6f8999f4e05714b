// scrivlet::Ring: the options turned into a log file's configuration, the log file that writes
// the groups (RingFile), and the life of a ring from open to close.
//
// A group is written with as few calls of TQCLogFile_1::Write as the file format allows: one per
// run of records that fit into the current file behind each other, with the rotation that the
// log file would make for the first record that does not fit. Each record thus lands where one
// Write per record would have put it, and the files are the same byte for byte.
#include "scrivlet/ring.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "error_info.h"
#include "places.h"
#include "platform/platform.h"
#include "ring/group_commit.h"
#include "ring/resume.h"
#include "ring/text.h"
#include "scrivlet/reading/utf.h"

namespace scrivlet {
namespace {

using detail::Encoding;
using detail::GroupCommit;
using detail::Info;

// The waiting group holds this much unless the options say otherwise, and at least the largest
// record, so that a pipe of short lines reaches the storage in writes large enough to be fast.
const std::size_t kMinGroupBytes = std::size_t{1} << 20;
// Records per group: one for every this many bytes of the group, within these bounds.
const std::size_t kBytesPerGroupRecord = 64;
const std::size_t kMinGroupRecords = 1024;
const std::size_t kMaxGroupRecords = 65536;

void StoreRingFailure(Error& error, RingPlace place) {
    detail::StoreFailure(&error.info, kModuleRing, 0, TQCLogFile_1::ERRORTYPE_RUNTIME, place, 0);
}

// A platform call of the ring's own failed with this error code.
void StoreRingFailureCode(Info& info, RingPlace place, unsigned int code) {
    detail::StoreFailure(&info, kModuleRing, code, TQCLogFile_1::ERRORTYPE_SYSTEM, place, 0);
}

// The log file that writes the groups. Only the leader of the group commit calls it while the
// ring is open; Room() may be read at any time.
class RingFile final : public TQCLogFile_1, public detail::GroupSink {
  public:
    // Bytes of the longest path as UTF-8: 259 characters of at most 3 bytes each.
    static constexpr std::size_t kPathBytes = 3 * (sizeof m_szFolderFileName / sizeof(TQ_WCHAR));

    std::size_t Room() const override { return room_.load(std::memory_order_relaxed); }

    void Refuse(std::size_t /*stored*/, Info& info) const override {
        detail::StoreFailure(&info, MODULE_LOGFILE, REASON_NO_ROOM, ERRORTYPE_PARAMETER,
                             detail::kRecordTooLarge, static_cast<unsigned int>(Room()));
    }

    void WriteGroup(const detail::Group& group, detail::Failures& failures) override {
        const char* bytes = group.bytes;
        std::size_t i = 0;
        while (i < group.count) {
            Info info{};
            // A failed rotation (or switch-on) left the ring on without a file: switch off and
            // on again, as a host of the log file would.
            if (m_hFile == TQ_INVALID_HANDLE && (!Switch(false, &info) || !Switch(true, &info))) {
                failures.Fail(i, group.count, info);
                break;
            }
            UpdateRoom();
            const auto size = static_cast<unsigned int>(group.Size(i));
            if (size > Room()) {
                Info refusal{};  // refused, as one Write would be
                if (!TQCLogFile_1::Write(bytes, size, &refusal)) failures.Fail(i, i + 1, refusal);
                bytes += size;
                ++i;
                continue;
            }
            if (!format::FitsBeforeFooter(m_uiFileBytes, size, m_uiFileSize, m_uiFooterLength)) {
                if (!Switch(false, &info) || !Switch(true, &info)) {
                    failures.Fail(i, group.count, info);
                    break;
                }
                continue;
            }
            // The run of records that follow each other into this file.
            const std::size_t room = Room();
            std::size_t end = i;
            unsigned int total = 0;
            for (; end < group.count; ++end) {
                const auto next = static_cast<unsigned int>(group.Size(end));
                if (total + next > room ||
                    !format::FitsBeforeFooter(m_uiFileBytes, total + next, m_uiFileSize,
                                              m_uiFooterLength)) {
                    break;
                }
                total += next;
            }
            writes_.fetch_add(1, std::memory_order_relaxed);
            if (!TQCLogFile_1::Write(bytes, total, &info)) {
                failures.Fail(i, group.count, info);
                break;
            }
            bytes_.fetch_add(total, std::memory_order_relaxed);
            bytes += total;
            i = end;
        }
        UpdateRoom();
        UpdatePath();
    }

    // Continues the ring already in the folder (resume.h): the newest file ends cleanly and the
    // opening lines (counter line with that file's own counter, header line) mark where this
    // run begins inside it. Where it has no room left for them, the footer and a record, the
    // ring moves on to the next file as a rotation does (the footer first, unless the last run
    // closed the file with one). Without a file to continue, the ring switches on as usual. The
    // object is switched on after a true return; false leaves the failure in info.
    bool Resume(Encoding encoding, Info& info) {
        const detail::NewestFile newest = detail::FindNewest(m_uiFileCount, [this](unsigned n) {
            m_uiFileNumber = n;
            CreateFileName();
            return static_cast<const TQ_WCHAR*>(m_szFolderFileName);
        });
        m_uiFileNumber = 0;
        if (newest.number == 0) return Switch(true, &info);
        const unsigned int counter = newest.counter ? newest.counter_value
                                     : newest.largest_counter
                                         ? format::NextCounter(newest.largest_counter)
                                         : 1;
        m_uiFileNumber = newest.number;
        CreateFileName();
        const os::HANDLE file = os::CreateFileW(
            m_szFolderFileName, os::GENERIC_READ | os::GENERIC_WRITE, os::FILE_SHARE_READ, nullptr,
            os::OPEN_EXISTING, os::FILE_ATTRIBUTE_NORMAL | os::FILE_FLAG_WRITE_THROUGH, nullptr);
        if (file == os::InvalidHandleValue()) {
            detail::StoreFailure(&info, MODULE_LOGFILE, os::GetLastError(), ERRORTYPE_SYSTEM,
                                 detail::kOpenFailed, 0);
            return false;
        }
        std::uint64_t size = 0;
        if (!detail::EndCleanly(file, newest, encoding, m_uiFileSize, size)) {
            StoreRingFailureCode(info, kRingContinueFailed, os::GetLastError());
            os::CloseHandle(file);
            return false;
        }
        m_hFile = file;
        m_bSwitchedOn = true;
        m_uiFileBytes = static_cast<unsigned int>(std::min<std::uint64_t>(size, m_uiFileSize));
        // The opening lines, the footer and one byte of a record must still fit.
        const std::uint64_t counter_length =
            m_bCounter ? format::kStampLength + std::to_string(counter).size() + 6 : 0;
        const std::uint64_t lines = counter_length + m_uiHeaderLength + m_uiFooterLength;
        if (size + format::kBytesPerChar * lines >= m_uiFileSize) {
            m_uiCounter = format::NextCounter(counter);
            // The footer where the last run left none and it still fits.
            if (newest.footer || size + format::kBytesPerChar * m_uiFooterLength > m_uiFileSize) {
                ShutDown();
            }
            return Switch(false, &info) && Switch(true, &info);
        }
        m_uiCounter = counter;
        return WriteCounter(&info) && WriteHeader(&info);
    }

    void UpdateRoom() {
        room_.store(
            format::RecordRoom(m_uiFileSize, m_uiCounterLength, m_uiHeaderLength, m_uiFooterLength),
            std::memory_order_relaxed);
    }

    // The path as UTF-8 into path_, whose room was reserved at construction: no allocation.
    void UpdatePath() {
        if (path_number_ == m_uiFileNumber) return;
        std::lock_guard<std::mutex> lock(path_mutex_);
        path_.clear();
        std::size_t length = 0;
        while (m_szFolderFileName[length] != 0) ++length;
        reading::AppendUtf8(
            std::u16string_view(reinterpret_cast<const char16_t*>(m_szFolderFileName), length),
            path_);
        // As the file system names it.
        std::replace(path_.begin(), path_.end(), '\\', os::PathSeparator());
        path_number_ = m_uiFileNumber;
    }

    std::string Path() const {
        std::lock_guard<std::mutex> lock(path_mutex_);
        return path_;
    }

    // The largest record a file takes beside the longest counter line there can be.
    std::size_t SplitRoom() const {
        return format::RecordRoom(m_uiFileSize, m_bCounter ? format::kCounterLineMaxLength : 0,
                                  m_uiHeaderLength, m_uiFooterLength);
    }
    std::uint64_t Writes() const { return writes_.load(std::memory_order_relaxed); }
    std::uint64_t Bytes() const { return bytes_.load(std::memory_order_relaxed); }

  private:
    std::atomic<std::size_t> room_{0};
    std::atomic<std::uint64_t> writes_{0};
    std::atomic<std::uint64_t> bytes_{0};
    mutable std::mutex path_mutex_;
    std::string path_ = std::string(kPathBytes, '\0');  // the room reserved for every path
    unsigned int path_number_ = 0;
};

// Copies text into a fixed array of the configuration record. A text that does not fit is
// copied without a terminating zero, which the log file refuses as too long; its true length
// comes back for the report.
template <std::size_t N>
std::size_t CopyText(std::string_view utf8, TQ_WCHAR (&target)[N]) {
    std::u16string text;
    detail::AppendUtf16(utf8, text);
    const std::size_t copied = std::min(text.size(), N);
    for (std::size_t i = 0; i < copied; ++i) target[i] = static_cast<TQ_WCHAR>(text[i]);
    if (copied < N) target[copied] = 0;
    return text.size();
}

// The folder as the log file takes it: '\' between directories, its start as the platform's
// folder walk takes it.
std::string LibraryFolder(std::string folder) {
    std::replace(folder.begin(), folder.end(), '/', '\\');
    folder.resize(os::RootFolder(folder.data(), folder.size()));
    return folder;
}

// Configures file with the options (Init only: nothing on disk). On a refusal the error holds
// the log file's failure, with the true length of a text that did not fit its array.
bool Configure(const RingOptions& options, TQCLogFile_1& file, Error& error) {
    TQCLogFile_1::tagInitData_1 data{};
    data.bCounter = options.counter;
    data.uiFileCount = options.count;
    data.uiFileSize = options.size;
    // The true lengths of the texts, by the places that refuse them.
    std::size_t lengths[detail::kHeaderTooLong + 1] = {};
    lengths[detail::kFileNameTooLong] = CopyText(options.name, data.szFileName);
    lengths[detail::kFolderTooLong] = CopyText(LibraryFolder(options.folder), data.szFolder);
    lengths[detail::kFooterTooLong] = CopyText(options.footer, data.szFooter);
    lengths[detail::kHeaderTooLong] = CopyText(options.header, data.szHeader);
    Info info{};
    if (file.Init(&data, &info)) return true;
    if (info.uiModule == TQCLogFile_1::MODULE_LOGFILE &&
        info.uiError == TQCLogFile_1::REASON_TOO_LONG &&
        info.uiLocation >= detail::kFileNameTooLong && info.uiLocation <= detail::kHeaderTooLong) {
        info.uiValue = static_cast<unsigned int>(lengths[info.uiLocation]);
    }
    detail::KeepFirstFailure(error.info, info);
    return false;
}

}  // namespace

struct Ring::State {
    mutable std::shared_mutex lifecycle;  // write: shared; open and close: exclusive
    std::unique_ptr<RingFile> file;
    std::unique_ptr<GroupCommit> commit;
    Encoding encoding = Encoding::kUtf16Line;
    bool utf16 = true;  // records are stored as UTF-16, and pieces cut between its characters
    bool split = false;
    // With split: the largest record every file takes, whatever its counter line (a group can
    // rotate through files whose counter lines gain digits); a larger one goes in pieces.
    std::size_t split_limit = 0;
    RingStats closed_stats;  // the counts of the ring closed last

    RingStats Stats() const {
        const GroupCommit::Counts counts = commit->Totals();
        RingStats stats;
        stats.records = counts.records;
        stats.writes = file->Writes();
        stats.bytes = file->Bytes();
        stats.waiting = counts.waiting;
        stats.write_ns = counts.write_ns;
        stats.cycles = counts.cycles;
        stats.wake_ns = counts.wake_ns;
        stats.turns_ns = counts.turns_ns;
        stats.back_ns = counts.back_ns;
        return stats;
    }

    // Hands in one record that is larger than split_limit, as pieces that each fit: the pieces
    // are cut from its stored bytes at UTF-16 character boundaries (any byte when raw).
    bool WritePieces(std::string_view record, Info& info) {
        std::string stored;
        std::string_view bytes = record;
        if (encoding == Encoding::kUtf16Line) {
            stored.resize(GroupCommit::StoredSize(record, encoding));
            detail::StoreUtf16Line(record, &stored[0]);
            bytes = stored;
        }
        const std::size_t chunk = split_limit;
        std::vector<std::string_view> pieces;
        for (std::size_t offset = 0; offset < bytes.size();) {
            std::size_t n = std::min(chunk, bytes.size() - offset);
            if (utf16 && n < bytes.size() - offset) {
                n &= ~std::size_t{1};  // whole UTF-16 code units
                const auto high = static_cast<unsigned char>(bytes[offset + n - 1]);
                if (high >= 0xD8 && high <= 0xDB) n -= 2;  // keep a surrogate pair together
            }
            pieces.push_back(bytes.substr(offset, n));
            offset += n;
        }
        return commit->Submit(pieces.data(), pieces.size(), Encoding::kRaw, info);
    }
};

Ring::Ring() : state_(new State) {}

Ring::~Ring() {
    Error ignored;
    if (is_open()) close(ignored);
}

bool Ring::open(const RingOptions& options, Error& error) {
    std::unique_lock<std::shared_mutex> lifecycle(state_->lifecycle);
    if (state_->file) {
        StoreRingFailure(error, kRingAlreadyOpen);
        return false;
    }
    auto file = std::make_unique<RingFile>();
    if (!Configure(options, *file, error)) return false;
    const Encoding encoding = options.text == Text::raw ? Encoding::kRaw : Encoding::kUtf16Line;
    Info info{};
    if (!(options.resume ? file->Resume(encoding, info) : file->Switch(true, &info))) {
        file->ShutDown();
        detail::KeepFirstFailure(error.info, info);
        return false;
    }
    file->UpdateRoom();
    file->UpdatePath();
    const std::size_t capacity =
        std::max(options.group_bytes != 0 ? options.group_bytes : kMinGroupBytes, file->Room());
    const std::size_t records =
        std::clamp(capacity / kBytesPerGroupRecord, kMinGroupRecords, kMaxGroupRecords);
    state_->commit = std::make_unique<GroupCommit>(*file, capacity, records);
    state_->file = std::move(file);
    state_->encoding = options.text == Text::utf16 ? Encoding::kUtf16Line : Encoding::kRaw;
    state_->utf16 = options.text != Text::raw;
    state_->split = options.split;
    state_->split_limit = std::min(state_->file->SplitRoom(), state_->commit->Capacity());
    return true;
}

bool Ring::check(const RingOptions& options, Error& error) {
    TQCLogFile_1 file;
    return Configure(options, file, error);
}

bool Ring::write(std::string_view record, Error& error) { return write(&record, 1, error); }

bool Ring::write(const std::string_view* records, std::size_t count, Error& error) {
    std::shared_lock<std::shared_mutex> lifecycle(state_->lifecycle);
    State& state = *state_;
    if (!state.file) {
        StoreRingFailure(error, kRingNotOpen);
        return false;
    }
    if (!state.split) return state.commit->Submit(records, count, state.encoding, error.info);
    // Runs of records that fit go in as they are; a longer one in pieces of its own.
    bool ok = true;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (GroupCommit::StoredSize(records[i], state.encoding) <= state.split_limit) continue;
        if (i > begin) {
            ok = state.commit->Submit(records + begin, i - begin, state.encoding, error.info) && ok;
        }
        ok = state.WritePieces(records[i], error.info) && ok;
        begin = i + 1;
    }
    if (begin < count) {
        ok = state.commit->Submit(records + begin, count - begin, state.encoding, error.info) && ok;
    }
    return ok;
}

bool Ring::close(Error& error) {
    std::unique_lock<std::shared_mutex> lifecycle(state_->lifecycle);
    State& state = *state_;
    if (!state.file) {
        StoreRingFailure(error, kRingNotOpen);
        return false;
    }
    Info info{};
    const bool ok = state.file->Switch(false, &info);
    if (!ok) detail::KeepFirstFailure(error.info, info);
    state.closed_stats = state.Stats();
    state.closed_stats.waiting = 0;
    state.commit.reset();
    state.file.reset();
    return ok;
}

bool Ring::is_open() const {
    std::shared_lock<std::shared_mutex> lifecycle(state_->lifecycle);
    return state_->file != nullptr;
}

std::string Ring::path() const {
    std::shared_lock<std::shared_mutex> lifecycle(state_->lifecycle);
    return state_->file ? state_->file->Path() : std::string();
}

std::size_t Ring::largest_record() const {
    std::shared_lock<std::shared_mutex> lifecycle(state_->lifecycle);
    if (!state_->file) return 0;
    return state_->split ? state_->split_limit
                         : std::min(state_->file->Room(), state_->commit->Capacity());
}

RingStats Ring::stats() const {
    std::shared_lock<std::shared_mutex> lifecycle(state_->lifecycle);
    const State& state = *state_;
    if (!state.file) return state.closed_stats;
    return state.Stats();
}

}  // namespace scrivlet
