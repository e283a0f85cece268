// The job journal: what a picture job is and how far it got, one small record per dot, so that
// an interrupted job can be resumed at the exact dot (format in docs/journal.md).
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace ostrel::jobs {

inline constexpr const char* kJournalFileName = "job.journal";
inline constexpr uint32_t kJournalVersion = 1;
// The longest stretch of progress that is written but not yet on the disk.
inline constexpr double kJournalSyncMs = 500;

using PictureHash = std::array<uint8_t, 32>;  // SHA-256

// What the job is; a resume refuses when any of it differs now.
struct JournalHeader {
    uint32_t version = kJournalVersion;
    PictureHash pictureHash{};      // of "picture.bmp" when Run was pressed
    uint8_t coarse = 0;             // Check1
    uint8_t hologram = 0;           // Check2
    int32_t sensitivity = 0;        // HScroll3
    int32_t width = 0, height = 0;  // Picture2's drawing area
    int32_t stepMs = 0;             // Combo1's period
};

// Where the job is: the window variables of the run just after a dot was dealt with, the words
// the rotors stand at, and the laser time still owed to that dot (0 once it is done).
struct JournalPoint {
    int32_t column = 0, row = 0;  // pixelColumn (the next dot's) and pixelRow
    int32_t xSteps = 0, ySteps = 0;
    int16_t xPhase = 0, yPhase = 0, dotCycle = 0;
    uint8_t xWord = 0, yWord = 0;
    int32_t owedMs = 0;
    uint32_t dots = 0;  // dots dealt with so far
    // How the head got there, to be walked again after homing: the row advances' Y words
    // since Run, from the Y phase Run found, and the sweep's X words since the row began (at
    // the X switch, or where Run found the head), from the X phase it began with.
    uint8_t startYPhase = 0, rowStartXPhase = 0;
    int32_t advanceTicks = 0, sweepTicks = 0;
    bool operator==(const JournalPoint&) const = default;
};

// CRC-32 (the polynomial of zip and PNG).
uint32_t crc32(const void* data, size_t size, uint32_t crc = 0);
// SHA-256 of a file; nullopt when it cannot be read.
std::optional<PictureHash> hashFile(const std::string& path);
// SHA-256 of a BMP file with its resolution fields (bytes 38-45) taken as 0; nullopt when it
// cannot be read.
// NOTE: Qt writes the screen's resolution there, so the same picture prepared in the window, on
// another screen or headless would otherwise hash differently.
std::optional<PictureHash> hashPicture(const std::string& path);

// Appends records to a journal with write(), so that they survive a crash of the program.
// syncDue() says when what was written has waited kJournalSyncMs for the disk; the owner syncs
// then, and at every pause and Abort.
class JobJournal {
  public:
    JobJournal() = default;
    ~JobJournal();
    JobJournal(const JobJournal&) = delete;
    JobJournal& operator=(const JobJournal&) = delete;

    // Creates (or replaces) the journal and writes its header; "" or why it could not.
    std::string create(const std::string& path, const JournalHeader& header, double nowMs);
    bool isOpen() const { return fd_ >= 0; }
    void append(const JournalPoint& point, double nowMs);
    bool syncDue(double nowMs) const {
        return fd_ >= 0 && written_ > synced_ && nowMs - unsyncedSinceMs_ >= kJournalSyncMs;
    }
    // Puts what was written on the disk before returning (Run, pause, Abort, close).
    void sync();
    // The half-second sync: on a thread of its own when setBackgroundSync(true), so that the
    // disk's latency never delays a step or a dot's pulse; else as sync().
    void syncSoon(double nowMs);
    // NOTE: off by default, so that a run on the virtual clock syncs at exact, repeatable
    // moments; the window and real-time scenarios turn it on.
    void setBackgroundSync(bool on);
    // Waits until a sync handed to the thread is done.
    void waitForSync();
    // Syncs and closes; the file stays for a resume.
    void close();
    // Closes and removes the file: the job ended by itself.
    void finish();

    const std::string& path() const { return path_; }
    // Bytes written and bytes known to be on the disk.
    uint64_t writtenBytes() const { return written_; }
    uint64_t syncedBytes() const { return synced_; }
    const std::optional<JournalPoint>& last() const { return last_; }

  private:
    bool writeAll(const void* data, size_t size);
    void syncer();

    int fd_ = -1;
    std::string path_;
    uint64_t written_ = 0;
    std::atomic<uint64_t> synced_ = 0;  // advanced by the sync thread
    double unsyncedSinceMs_ = 0;        // when the oldest write not yet synced was made
    std::optional<JournalPoint> last_;

    // The sync thread: it syncs fd_ up to `requested_` bytes and reports `done_`.
    bool background_ = false;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_, finished_;
    bool busy_ = false, stopping_ = false;
    uint64_t requested_ = 0;
};

struct JournalContents {
    std::string error;  // "" when the journal can be used
    JournalHeader header;
    JournalPoint point;  // the last good record
    uint64_t records = 0;
    bool tornTail = false;  // a last record cut short or damaged was left out
};
JournalContents readJournal(const std::string& path);

// Encodings, for the tests and tools.
std::string encodeHeader(const JournalHeader& header);
std::string encodePoint(const JournalPoint& point);
inline constexpr size_t kHeaderBytes = 72;
inline constexpr size_t kRecordBytes = 48;

}  // namespace ostrel::jobs
