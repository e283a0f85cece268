// The job journal: a fixed header, then fixed-size records, each with its CRC-32, all little
// endian; written with write() and synced with fdatasync().
#include "jobs/JobJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "runtime/ThreadSignals.h"

namespace ostrel::jobs {

namespace {

constexpr char kMagic[8] = {'O', 'S', 'T', 'R', 'E', 'L', 'J', 'N'};
constexpr uint8_t kPictureJob = 1;
constexpr uint8_t kDotRecord = 'D';

void put(std::string& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
uint64_t get(const std::string& in, size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<uint64_t>(static_cast<uint8_t>(in[at + static_cast<size_t>(i)]))
             << (8 * i);
    return v;
}
int32_t get32s(const std::string& in, size_t at) {
    return static_cast<int32_t>(static_cast<uint32_t>(get(in, at, 4)));
}
int16_t get16s(const std::string& in, size_t at) {
    return static_cast<int16_t>(static_cast<uint16_t>(get(in, at, 2)));
}
void sealWithCrc(std::string& out) {
    put(out, crc32(out.data(), out.size()), 4);
}
bool crcHolds(const std::string& block) {
    const size_t body = block.size() - 4;
    return crc32(block.data(), body) == static_cast<uint32_t>(get(block, body, 4));
}

}  // namespace

uint32_t crc32(const void* data, size_t size, uint32_t crc) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    const auto* p = static_cast<const uint8_t*>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::optional<PictureHash> hashFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return std::nullopt;
    const QByteArray digest = hash.result();
    PictureHash out{};
    std::memcpy(out.data(), digest.constData(), out.size());
    return out;
}

std::optional<PictureHash> hashPicture(const std::string& path) {
    constexpr qsizetype kResolutionAt = 38, kResolutionBytes = 8;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    if (bytes.size() >= kResolutionAt + kResolutionBytes && bytes.startsWith("BM"))
        std::memset(bytes.data() + kResolutionAt, 0, kResolutionBytes);
    const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    PictureHash out{};
    std::memcpy(out.data(), digest.constData(), out.size());
    return out;
}

std::string encodeHeader(const JournalHeader& h) {
    std::string out(kMagic, sizeof kMagic);
    put(out, h.version, 4);
    put(out, kHeaderBytes, 4);
    out.append(reinterpret_cast<const char*>(h.pictureHash.data()), h.pictureHash.size());
    put(out, h.coarse, 1);
    put(out, h.hologram, 1);
    put(out, kPictureJob, 1);
    put(out, 0, 1);
    put(out, static_cast<uint32_t>(h.sensitivity), 4);
    put(out, static_cast<uint32_t>(h.width), 4);
    put(out, static_cast<uint32_t>(h.height), 4);
    put(out, static_cast<uint32_t>(h.stepMs), 4);
    sealWithCrc(out);
    return out;
}

std::string encodePoint(const JournalPoint& p) {
    std::string out;
    put(out, kDotRecord, 1);
    put(out, p.rowStartXPhase, 1);
    put(out, static_cast<uint16_t>(p.xPhase), 2);
    put(out, static_cast<uint16_t>(p.yPhase), 2);
    put(out, static_cast<uint16_t>(p.dotCycle), 2);
    put(out, static_cast<uint32_t>(p.column), 4);
    put(out, static_cast<uint32_t>(p.row), 4);
    put(out, static_cast<uint32_t>(p.xSteps), 4);
    put(out, static_cast<uint32_t>(p.ySteps), 4);
    put(out, p.xWord, 1);
    put(out, p.yWord, 1);
    put(out, p.startYPhase, 1);
    put(out, 0, 1);
    put(out, static_cast<uint32_t>(p.owedMs), 4);
    put(out, p.dots, 4);
    put(out, static_cast<uint32_t>(p.sweepTicks), 4);
    put(out, static_cast<uint32_t>(p.advanceTicks), 4);
    sealWithCrc(out);
    return out;
}

// --- Writing ---

JobJournal::~JobJournal() {
    close();
    setBackgroundSync(false);
}

void JobJournal::setBackgroundSync(bool on) {
    if (on == background_) return;
    if (on) {
        stopping_ = false;
        // The thread must never take a stop signal meant for the main thread.
        const runtime::EndingSignalsBlocked blocked;
        thread_ = std::thread([this] { syncer(); });
    } else {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    background_ = on;
}

void JobJournal::syncer() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return busy_ || stopping_; });
        if (!busy_) return;
        const int fd = fd_;
        const uint64_t upTo = requested_;
        lock.unlock();
        const bool ok = ::fdatasync(fd) == 0;
        lock.lock();
        if (ok && upTo > synced_) synced_ = upTo;
        busy_ = false;
        finished_.notify_all();
    }
}

void JobJournal::waitForSync() {
    if (!background_) return;
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return !busy_; });
}

void JobJournal::syncSoon(double nowMs) {
    if (fd_ < 0) return;
    if (!background_) {
        sync();
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        // One sync at a time: the next half-second check asks again if this one is still busy.
        if (busy_) return;
        busy_ = true;
        requested_ = written_;
    }
    // What is written from now on waits for the next sync, half a second on.
    unsyncedSinceMs_ = nowMs;
    wake_.notify_one();
}

bool JobJournal::writeAll(const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        written_ += static_cast<uint64_t>(n);
    }
    return true;
}

std::string JobJournal::create(const std::string& path, const JournalHeader& header, double nowMs) {
    close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) return "cannot write the job journal " + path + ": " + std::strerror(errno);
    path_ = path;
    written_ = 0;
    synced_ = 0;
    last_.reset();
    const std::string bytes = encodeHeader(header);
    if (!writeAll(bytes.data(), bytes.size())) {
        const std::string why = std::strerror(errno);
        finish();
        return "cannot write the job journal " + path + ": " + why;
    }
    (void)nowMs;
    sync();
    return {};
}

void JobJournal::append(const JournalPoint& point, double nowMs) {
    if (fd_ < 0) return;
    const std::string bytes = encodePoint(point);
    // NOTE: a record that cannot be written in full (a full disk) ends the journal: a resume
    // from an older record would burn the later dots twice, so none is better.
    if (!writeAll(bytes.data(), bytes.size())) {
        finish();
        return;
    }
    if (written_ - bytes.size() == synced_) unsyncedSinceMs_ = nowMs;
    last_ = point;
}

void JobJournal::sync() {
    if (fd_ < 0) return;
    // NOTE: the fd stays open and unchanged until the thread is done with it.
    waitForSync();
    if (::fdatasync(fd_) == 0) synced_ = written_;
}

void JobJournal::close() {
    if (fd_ < 0) return;
    sync();
    ::close(fd_);
    fd_ = -1;
}

void JobJournal::finish() {
    waitForSync();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!path_.empty()) ::unlink(path_.c_str());
    last_.reset();
}

// --- Reading ---

JournalContents readJournal(const std::string& path) {
    JournalContents out;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        out.error = "There is no job journal to resume (" + path + ").";
        return out;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 16 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        out.error = "The file is not a job journal.";
        return out;
    }
    const uint32_t version = static_cast<uint32_t>(get(bytes, 8, 4));
    if (version != kJournalVersion) {
        out.error = "The job journal is of version " + std::to_string(version) +
                    "; this program reads version " + std::to_string(kJournalVersion) + ".";
        return out;
    }
    const size_t headerBytes = get(bytes, 12, 4);
    if (headerBytes != kHeaderBytes || bytes.size() < kHeaderBytes) {
        out.error = "The job journal's header is cut short or damaged.";
        return out;
    }
    const std::string header = bytes.substr(0, kHeaderBytes);
    if (!crcHolds(header) || get(header, 50, 1) != kPictureJob) {
        out.error = "The job journal's header is damaged (checksum).";
        return out;
    }
    JournalHeader& h = out.header;
    h.version = version;
    std::memcpy(h.pictureHash.data(), header.data() + 16, h.pictureHash.size());
    h.coarse = static_cast<uint8_t>(get(header, 48, 1));
    h.hologram = static_cast<uint8_t>(get(header, 49, 1));
    h.sensitivity = get32s(header, 52);
    h.width = get32s(header, 56);
    h.height = get32s(header, 60);
    h.stepMs = get32s(header, 64);

    for (size_t at = kHeaderBytes; at < bytes.size(); at += kRecordBytes) {
        const bool lastOne = at + kRecordBytes >= bytes.size();
        if (at + kRecordBytes > bytes.size()) {  // cut short: written when the machine died
            out.tornTail = true;
            break;
        }
        const std::string r = bytes.substr(at, kRecordBytes);
        if (!crcHolds(r) || get(r, 0, 1) != kDotRecord) {
            if (lastOne) {  // torn in the middle of its write
                out.tornTail = true;
                break;
            }
            out.error = "The job journal is damaged: record " + std::to_string(out.records + 1) +
                        " fails its checksum.";
            return out;
        }
        JournalPoint& p = out.point;
        p.xPhase = get16s(r, 2);
        p.yPhase = get16s(r, 4);
        p.dotCycle = get16s(r, 6);
        p.column = get32s(r, 8);
        p.row = get32s(r, 12);
        p.xSteps = get32s(r, 16);
        p.ySteps = get32s(r, 20);
        p.xWord = static_cast<uint8_t>(get(r, 24, 1));
        p.yWord = static_cast<uint8_t>(get(r, 25, 1));
        p.owedMs = get32s(r, 28);
        p.dots = static_cast<uint32_t>(get(r, 32, 4));
        p.rowStartXPhase = static_cast<uint8_t>(get(r, 1, 1));
        p.startYPhase = static_cast<uint8_t>(get(r, 26, 1));
        p.sweepTicks = get32s(r, 36);
        p.advanceTicks = get32s(r, 40);
        ++out.records;
    }
    if (out.records == 0) out.error = "The job journal records no progress: nothing to resume.";
    return out;
}

}  // namespace ostrel::jobs
