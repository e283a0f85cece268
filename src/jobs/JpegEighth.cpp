// A JPEG decoder that gives the picture at 1/8 scale from the DC coefficients alone, in one pass.
//
// The file is read once, front to back. Each 8 x 8 block's DC coefficient is decoded; its AC
// coefficients are only stepped over, several Huffman symbols at a time where their codes and
// magnitude bits fit in one table look-up. A pixel is then the block's mean as libjpeg's 1 x 1
// inverse DCT gives it, converted to RGB as libjpeg converts it.
//
// Wherever libjpeg would refuse a file, warn about it or decode it some other way than the one
// below, the file is called Damaged or Unsupported rather than decoded: the caller then gives
// it to libjpeg, which judges it as it always has.
#include "jobs/JpegEighth.h"

#include <QIODevice>
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace ostrel::jobs {

namespace {

using Outcome = JpegEighthOutcome;

// Bits looked up at once in a Huffman table: codes up to this long decode in one step. DC codes
// are short and come once a block; the AC look-up takes several symbols at a time.
constexpr int kDcLookupBits = 9;
constexpr int kAcLookupBits = 14;

// Bytes read from a device at a time. NOTE: a whole marker segment (up to 65535 bytes) must
// fit, since a segment is parsed in place.
constexpr size_t kChunkBytes = 80 * 1024;
static_assert(kChunkBytes >= 2 + 65535);

// libjpeg refuses frames larger than this a side, and interleaved MCUs of more blocks.
constexpr int kMaxDimension = 65500;
constexpr int kMaxBlocksInMcu = 10;
constexpr int kMaxComponents = 3;
constexpr int kMaxScanComponents = 4;
constexpr int kBlockCoefficients = 64;

// What a marker means here, by its second byte.
enum class MarkerKind : uint8_t {
    Damaged,       // reserved, or a second start of image: libjpeg refuses it
    Frame,         // SOF0, SOF1, SOF2: Huffman-coded, sequential or progressive
    Unsupported,   // other frames (lossless, hierarchical, arithmetic), DAC, DNL, DHP, EXP
    Huffman,       // DHT
    Quantization,  // DQT
    RestartInterval,
    Scan,
    EndOfImage,
    Standalone,  // RSTn or TEM outside a scan: no length, nothing to do
    Skipped,     // APPn and COM: APP0 (JFIF) and APP14 (Adobe) tell the colour space
};

constexpr std::array<MarkerKind, 256> kMarkerKinds = [] {
    std::array<MarkerKind, 256> kinds{};
    kinds.fill(MarkerKind::Damaged);
    for (int m = 0xC0; m <= 0xCF; ++m) kinds[m] = MarkerKind::Unsupported;
    kinds[0xC0] = kinds[0xC1] = kinds[0xC2] = MarkerKind::Frame;
    kinds[0xC4] = MarkerKind::Huffman;
    for (int m = 0xD0; m <= 0xD7; ++m) kinds[m] = MarkerKind::Standalone;
    kinds[0x01] = MarkerKind::Standalone;
    kinds[0xD9] = MarkerKind::EndOfImage;
    kinds[0xDA] = MarkerKind::Scan;
    kinds[0xDB] = MarkerKind::Quantization;
    kinds[0xDC] = MarkerKind::Unsupported;  // DNL: the height comes after the first scan
    kinds[0xDD] = MarkerKind::RestartInterval;
    kinds[0xDE] = kinds[0xDF] = MarkerKind::Unsupported;  // hierarchical
    for (int m = 0xE0; m <= 0xEF; ++m) kinds[m] = MarkerKind::Skipped;
    kinds[0xFE] = MarkerKind::Skipped;
    return kinds;
}();
constexpr uint8_t kMarkerSof2 = 0xC2, kMarkerApp0 = 0xE0, kMarkerApp14 = 0xEE;
constexpr uint8_t kMarkerRst0 = 0xD0, kMarkerRst7 = 0xD7;

// libjpeg's JFIF YCbCr to RGB conversion, in 16-bit fixed point: a channel is the luma plus
// the table entries of the chroma samples.
struct YccTables {
    std::array<int32_t, 256> crToR{}, cbToB{}, crToG{}, cbToG{};
};
constexpr int kScaleBits = 16;
constexpr int32_t kOneHalf = int32_t{1} << (kScaleBits - 1);
constexpr int32_t fix(double x) {
    return static_cast<int32_t>(x * (int32_t{1} << kScaleBits) + 0.5);
}
constexpr YccTables kYcc = [] {
    YccTables t;
    for (int i = 0; i < 256; ++i) {
        const int32_t x = i - 128;
        t.crToR[i] = (fix(1.40200) * x + kOneHalf) >> kScaleBits;
        t.cbToB[i] = (fix(1.77200) * x + kOneHalf) >> kScaleBits;
        t.crToG[i] = -fix(0.71414) * x;
        t.cbToG[i] = -fix(0.34414) * x + kOneHalf;  // the rounding of G rides on Cb
    }
    return t;
}();

uint8_t clampSample(int32_t v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// A sample plus a chroma term, clamped, by look-up: luma 0-255 and the terms of kYcc keep the
// sum within -256..511.
struct RangeLimit {
    std::array<uint8_t, 768> table{};
    constexpr RangeLimit() {
        for (int i = 0; i < 768; ++i)
            table[static_cast<size_t>(i)] = static_cast<uint8_t>(std::clamp(i - 256, 0, 255));
    }
    uint8_t at(int32_t v) const { return table[static_cast<size_t>(v + 256)]; }
};
constexpr RangeLimit kRangeLimit;

unsigned be16(const uint8_t* p) {
    return static_cast<unsigned>(p[0]) << 8 | p[1];
}

// A Huffman table as DHT defines it, with what decoding needs.
struct HuffmanTable {
    bool defined = false;
    bool sound = false;  // neither empty nor over-subscribed
    bool built = false;  // the look-ups are made for this definition
    int symbolCount = 0;
    std::array<uint8_t, 17> counts{};  // codes of each length, 1-16
    std::array<uint8_t, 256> symbols{};
    // Canonical decoding: the largest code of each length (-1 for none), and where the
    // symbols of that length start in `symbols`, less their first code.
    std::array<int32_t, 17> maxCode{};
    std::array<int32_t, 17> valueOffset{};
    // By the next kDcLookupBits bits: code length | category << 8, 0 for a longer code.
    std::vector<uint32_t> dcLookup;
    // By the next kAcLookupBits bits: see acEntry.
    std::vector<uint16_t> acLookup;
};

void defineHuffman(HuffmanTable& t, const uint8_t* counts, const uint8_t* symbols, int total) {
    t.defined = true;
    t.built = false;
    t.symbolCount = total;
    std::copy(counts, counts + 16, t.counts.begin() + 1);
    std::copy(symbols, symbols + total, t.symbols.begin());
    // libjpeg refuses a table whose codes of some length run out (the all-ones code included).
    t.sound = total > 0;
    int32_t code = 0, k = 0;
    for (int length = 1; length <= 16; ++length) {
        t.valueOffset[length] = k - code;
        code += t.counts[length];
        k += t.counts[length];
        t.maxCode[length] = t.counts[length] ? code - 1 : -1;
        if (code >= (int32_t{1} << length)) t.sound = false;
        code <<= 1;
    }
}

// The file's bytes as a window that moves forward: the whole file when it is in memory, else a
// chunk of it refilled from the device.
class Window {
  public:
    const uint8_t* pos = nullptr;
    const uint8_t* end = nullptr;

    void setBytes(std::span<const uint8_t> bytes) {
        pos = bytes.data();
        end = pos + bytes.size();
    }
    void setDevice(QIODevice& device) {
        device_ = &device;
        buffer_.resize(kChunkBytes);
    }
    size_t available() const { return static_cast<size_t>(end - pos); }
    // At least `n` bytes from pos on, unless the file ends first. Moves the bytes: pointers
    // into the window are stale afterwards, pos and end excepted.
    bool ensure(size_t n) { return available() >= n || more(n); }

  private:
    bool more(size_t n) {
        if (!device_ || exhausted_) return false;
        const size_t kept = available();
        if (kept > 0) std::memmove(buffer_.data(), pos, kept);
        uint8_t* const start = buffer_.data();
        uint8_t* fill = start + kept;
        while (!exhausted_ && fill < start + buffer_.size()) {
            const qint64 got = device_->read(reinterpret_cast<char*>(fill),
                                             static_cast<qint64>(start + buffer_.size() - fill));
            if (got <= 0) {
                exhausted_ = true;
            } else {
                fill += got;
            }
        }
        pos = start;
        end = fill;
        return available() >= n;
    }

    QIODevice* device_ = nullptr;
    std::vector<uint8_t> buffer_;
    bool exhausted_ = false;
};

// Where a BitReader stands. Its slow paths take and give it by value, so that the reader's
// address never escapes and its fields stay in registers in the decoding loops.
struct BitState {
    uint64_t bits = 0;  // most significant first
    const uint8_t* pos = nullptr;
    // The next 0xFF byte at or after pos, or the end of the window: the bytes before it are
    // data bytes as they stand.
    const uint8_t* clear = nullptr;
    int count = 0;    // bits held, zero bits past the data included
    int padding = 0;  // of them, the zero bits past the data
    bool stopped = false;
    bool fileEnded = false;
};

// The next data byte; at a marker or the end of the file the reader stops, with the window on
// the marker's 0xFF.
uint64_t nextDataByte(BitState& s, Window& window) {
    if (!window.ensure(1)) {
        s.stopped = s.fileEnded = true;
        return 0;
    }
    if (*window.pos != 0xFF) return *window.pos++;
    // 0xFF 0x00 is a data byte 0xFF; fill bytes 0xFF may come before it or before a marker.
    for (;;) {
        if (!window.ensure(2)) {
            s.stopped = s.fileEnded = true;
            return 0;
        }
        const uint8_t next = window.pos[1];
        if (next == 0xFF) {
            ++window.pos;
        } else if (next == 0x00) {
            window.pos += 2;
            return 0xFF;
        } else {
            s.stopped = true;
            return 0;
        }
    }
}

const uint8_t* nextFF(const Window& window) {
    const void* ff = std::memchr(window.pos, 0xFF, window.available());
    return ff ? static_cast<const uint8_t*>(ff) : window.end;
}

// Byte by byte, with stuffed bytes, markers and the end of the file.
[[gnu::noinline]] BitState fillSlowly(BitState s, Window& window) {
    window.pos = s.pos;
    s.bits &= s.count == 0 ? 0 : ~uint64_t{0} << (64 - s.count);
    // NOTE: at most 63 bits, never 64: the fast fill shifts a word right by the count.
    while (s.count < 56) {
        uint64_t byte = 0;
        if (!s.stopped) byte = nextDataByte(s, window);
        if (s.stopped) s.padding += 8;
        s.bits |= byte << (56 - s.count);
        s.count += 8;
    }
    s.pos = window.pos;
    s.clear = nextFF(window);
    return s;
}

// Bits held after BitReader::fill: enough for a DC code and its magnitude bits (16 + 15), or
// an AC look-up entry (a code of up to kAcLookupBits and 15 magnitude bits), with the next
// look-up still in view.
constexpr int kFilledBits = 45;

// The bits of a scan's entropy-coded data.
class BitReader {
  public:
    explicit BitReader(Window& window) : window_(&window) { resume(); }

    // At least kFilledBits bits ahead; past a marker or the end of the file they are zero bits.
    void fill() {
        if (s_.clear - s_.pos >= 8) [[likely]] {
            uint64_t word;
            std::memcpy(&word, s_.pos, 8);
            word = __builtin_bswap64(word);
            // The bits below count are those of the bytes that follow, or zero: OR-ing them
            // in again changes nothing.
            s_.bits |= word >> s_.count;
            s_.pos += (63 - s_.count) >> 3;
            s_.count |= 56;
            return;
        }
        if (s_.count < kFilledBits) s_ = fillSlowly(s_, *window_);
    }
    uint64_t bits() const { return s_.bits; }
    uint32_t peek(int n) const { return static_cast<uint32_t>(s_.bits >> (64 - n)); }
    void drop(int n) {
        s_.bits <<= n;
        s_.count -= n;
    }
    // The bits held, to go back to after drops.
    struct Mark {
        uint64_t bits;
        int count;
    };
    Mark mark() const { return {s_.bits, s_.count}; }
    void rewind(Mark m) {
        s_.bits = m.bits;
        s_.count = m.count;
    }
    // A bit beyond the data has been taken: the data ran out.
    bool overrun() const { return s_.count < s_.padding; }
    bool fileEnded() const { return s_.fileEnded; }
    // Forgets the bits held and leaves the window on the first byte not taken.
    void release() {
        window_->pos = s_.pos;
        s_ = BitState{};
    }
    // Starts again where the window is.
    void resume() {
        s_ = BitState{};
        s_.pos = window_->pos;
        s_.clear = nextFF(*window_);
    }

  private:
    Window* window_;
    BitState s_;
};

// The symbol of a code of any length at the front of `bits`, with the code's length in bits
// 8-15, or -1 for a code the table lacks.
[[gnu::noinline]] int decodeSlowly(const HuffmanTable& t, uint64_t bits) {
    for (int length = 1; length <= 16; ++length) {
        const auto code = static_cast<int32_t>(bits >> (64 - length));
        if (code <= t.maxCode[length]) {
            const int32_t index = t.valueOffset[length] + code;
            if (index < 0 || index >= t.symbolCount) return -1;
            return t.symbols[static_cast<size_t>(index)] | length << 8;
        }
    }
    return -1;
}

// The symbol of the code at the reader, taken, or -1.
inline int decodeSymbol(const HuffmanTable& t, BitReader& reader) {
    const int found = decodeSlowly(t, reader.bits());
    if (found < 0) return -1;
    reader.drop(found >> 8);
    return found & 0xFF;
}

// The codes of up to `indexBits` bits by every index of that many bits: code length << 8 |
// symbol for the code the index starts with, 0 for none. Canonical codes of one length are
// consecutive numbers, so each code fills the run of indices it begins.
std::vector<uint16_t> firstCodes(const HuffmanTable& t, int indexBits) {
    std::vector<uint16_t> first(size_t{1} << indexBits, 0);
    uint32_t code = 0;
    int k = 0;
    for (int length = 1; length <= indexBits; ++length) {
        for (int i = 0; i < t.counts[length]; ++i, ++code, ++k) {
            const uint32_t from = code << (indexBits - length), to = (code + 1)
                                                                     << (indexBits - length);
            std::fill(first.begin() + from, first.begin() + to,
                      static_cast<uint16_t>(length << 8 | t.symbols[static_cast<size_t>(k)]));
        }
        code <<= 1;
    }
    return first;
}

// The symbol whose code starts `used` bits into `index`, or -1 when no code fits in the bits
// left.
int symbolAt(const std::vector<uint16_t>& first, uint32_t index, int indexBits, int used,
             int& length) {
    const uint16_t e = first[(index << used) & ((1u << indexBits) - 1)];
    length = e >> 8;
    return e == 0 || used + length > indexBits ? -1 : e & 0xFF;
}

uint32_t dcEntry(const std::vector<uint16_t>& first, uint32_t index) {
    int length = 0;
    const int symbol = symbolAt(first, index, kDcLookupBits, 0, length);
    return symbol < 0 ? 0 : static_cast<uint32_t>(length) | static_cast<uint32_t>(symbol) << 8;
}

// An AC look-up entry, 16 bits: the bits to drop (bits 0-5), how far the coefficient index
// moves (6-12: the runs and coefficients, plus 64 if the entry ends the block) and whether it
// holds several symbols (13). It covers as many whole symbols (code and magnitude bits) as fit
// in the looked-up bits, up to and including an end of block, or one symbol whose magnitude
// bits reach beyond them. Several symbols are right only while they all still belong to the
// block, as libjpeg reads them one by one: when the index reaches the block's end, they are
// read again one by one. One symbol is always right: libjpeg reads it whatever the index. A
// code longer than the look-up moves the index by 127, to the end at once, to be read alone.
constexpr int kAcAdvanceShift = 6;
constexpr uint16_t kAcSeveral = 1 << 13;
constexpr uint16_t acPack(int bits, int advance, bool endsBlock, bool several) {
    return static_cast<uint16_t>(
        bits | (advance + (endsBlock ? kBlockCoefficients : 0)) << kAcAdvanceShift |
        (several ? kAcSeveral : 0));
}
constexpr uint16_t kAcLongCode = acPack(0, kBlockCoefficients - 1, true, true);

uint16_t acEntry(const std::vector<uint16_t>& first, uint32_t index) {
    uint16_t entry = kAcLongCode;
    int used = 0, advance = 0, symbols = 0;
    for (;;) {
        int length = 0;
        const int symbol = symbolAt(first, index, kAcLookupBits, used, length);
        if (symbol < 0) break;
        const int run = symbol >> 4, size = symbol & 15;
        if (size == 0 && run != 15) {  // end of block
            entry = acPack(used + length, advance, true, symbols > 0);
            break;
        }
        const int step = size == 0 ? 16 : run + 1;  // 16 zeros, or a run and a coefficient
        const int bits = length + size;
        if (symbols == 0 && bits > kAcLookupBits) {
            entry = acPack(bits, step, false, false);
            break;
        }
        if (used + bits > kAcLookupBits || advance + step >= kBlockCoefficients) break;
        used += bits;
        advance += step;
        ++symbols;
        entry = acPack(used, advance, false, symbols > 1);
    }
    return entry;
}

void buildLookup(HuffmanTable& t, bool ac) {
    const std::vector<uint16_t> first = firstCodes(t, ac ? kAcLookupBits : kDcLookupBits);
    if (ac) {
        t.acLookup.resize(first.size());
        for (uint32_t index = 0; index < first.size(); ++index) {
            t.acLookup[index] = acEntry(first, index);
        }
    } else {
        t.dcLookup.resize(first.size());
        for (uint32_t index = 0; index < first.size(); ++index) {
            t.dcLookup[index] = dcEntry(first, index);
        }
    }
    t.built = true;
}

// The signed value of `size` magnitude bits (0 for none).
inline int32_t extend(uint32_t bits, int size) {
    const uint32_t half = (1u << size) >> 1;
    return bits < half ? static_cast<int32_t>(bits) - static_cast<int32_t>(2 * half - 1)
                       : static_cast<int32_t>(bits);
}

// A DC difference: its category's code, then that many magnitude bits. False for a bad code.
// NOTE: at least kAcLookupBits bits must be held (as they are after a block): the code is
// looked up before the fill, as the AC codes are.
inline bool decodeDcDifference(const HuffmanTable& t, BitReader& reader, int32_t& difference) {
    static_assert(kAcLookupBits >= kDcLookupBits && kFilledBits - 31 >= kAcLookupBits);
    const uint32_t e = t.dcLookup[reader.peek(kDcLookupBits)];
    reader.fill();
    int length = static_cast<int>(e & 0xFF), size = static_cast<int>(e >> 8);
    if (e == 0) {
        const int found = decodeSlowly(t, reader.bits());
        if (found < 0) return false;
        length = found >> 8;
        size = found & 0xFF;
    }
    // The magnitude bits follow the code; shifted in two steps so that a size of 0 gives 0.
    const uint64_t magnitude = ((reader.bits() << length) >> 1) >> (63 - size);
    reader.drop(length + size);
    difference = extend(static_cast<uint32_t>(magnitude), size);
    return true;
}

// Steps over a block's AC coefficients; false for a bad code.
// NOTE: at least kAcLookupBits bits must be held, as they are after a DC difference.
inline bool skipAc(const HuffmanTable& t, BitReader& reader) {
    static_assert(kFilledBits - (kAcLookupBits + 15) >= kAcLookupBits);
    const uint16_t* const lookup = t.acLookup.data();
    int k = 1;
    for (;;) {
        // NOTE: the look-up comes before the fill, from the bits already held, so that the
        // fill is not on the path from one look-up to the next.
        const uint32_t e = lookup[reader.peek(kAcLookupBits)];
        reader.fill();
        const BitReader::Mark before = reader.mark();
        const int kBefore = k;
        reader.drop(static_cast<int>(e & 63));
        k += static_cast<int>(e >> kAcAdvanceShift) & 127;
        if (k < kBlockCoefficients) [[likely]]
            continue;
        // The block ends here, unless several symbols went beyond its end or a long code
        // stands here. NOTE: worked out without a branch on the kind of entry, which would
        // be mispredicted at the end of every other block.
        const int advance = static_cast<int>(e >> kAcAdvanceShift) & 127;
        const bool one = (e & kAcSeveral) == 0;
        const bool within = kBefore + (advance & 63) + (advance >> 6) <= kBlockCoefficients;
        if (one | within) [[likely]]
            return true;
        reader.rewind(before);
        k = kBefore;
        const int symbol = decodeSymbol(t, reader);
        if (symbol < 0) return false;
        const int run = symbol >> 4, size = symbol & 15;
        if (size != 0) {
            reader.drop(size);
            k += run + 1;
        } else if (run == 15) {
            k += 16;
        } else {
            return true;
        }
        if (k >= kBlockCoefficients) return true;
        reader.fill();  // a long code and its magnitude bits may have taken 31 bits
    }
}

struct Component {
    int id = 0, h = 1, v = 1, quantTable = 0;
    int32_t quantDc = -1;  // entry 0 of its table, taken at its first scan as libjpeg does
    int blocksWide = 0, blocksHigh = 0;  // the blocks that hold its samples
    int stride = 0, rows = 0;            // its plane: the blocks of every whole MCU
    std::vector<int16_t> plane;          // one DC coefficient per block
    int scans = 0;                       // sequential: the scans that carried it
    int dcBits = -1;                     // progressive: the lowest DC bit known; -1: none yet
};

struct ScanHeader {
    int count = 0;
    std::array<int, kMaxScanComponents> component{};  // frame component index
    std::array<int, kMaxScanComponents> dcTable{}, acTable{};
    int ss = 0, se = 0, ah = 0, al = 0;
};

// One block of an MCU: where its coefficient goes and how it is coded.
struct BlockPlace {
    int16_t* plane = nullptr;
    ptrdiff_t offset = 0;    // within the MCU
    ptrdiff_t mcuStepX = 0;  // from one MCU to the next along a row
    ptrdiff_t mcuStepY = 0;  // from one row of MCUs to the next
    int predictor = 0;       // which of the scan's DC predictors
    const HuffmanTable* dc = nullptr;
    const HuffmanTable* ac = nullptr;
};

struct ScanPlan {
    int mcusAcross = 0, mcusDown = 0, blockCount = 0;
    std::array<BlockPlace, kMaxBlocksInMcu> blocks{};
};

enum class ColourSpace { Grey, YCbCr, Rgb, Contradictory };

}  // namespace

class JpegEighthDecoder::Impl {
  public:
    explicit Impl(std::span<const uint8_t> bytes) { window_.setBytes(bytes); }
    explicit Impl(QIODevice& device) { window_.setDevice(device); }

    JpegEighthHeader readHeader() {
        if (!headerRead_) {
            headerRead_ = true;
            header_.outcome = readHeaderMarkers();
            header_.width = width_;
            header_.height = height_;
        }
        return header_;
    }

    Outcome decodeRows(int64_t maxSourcePixels, const JpegEighthDecoder::RowSink& sink) {
        const JpegEighthHeader header = readHeader();
        if (header.outcome != Outcome::Decoded) return header.outcome;
        if (int64_t{width_} * height_ > maxSourcePixels) return Outcome::Unsupported;
        colour_ = colourSpace();
        if (colour_ == ColourSpace::Contradictory) return Outcome::Unsupported;
        sink_ = &sink;
        // A sequential file whose first scan carries every component is that scan alone (a
        // second would be refused): its rows are converted as each row of MCUs is decoded,
        // and the coefficients need keep only that row. Else every block is kept until the
        // end of the image.
        streamed_ = !progressive_ && scan_.count == componentCount_;
        allocatePlanes();
        Outcome o = decodeScan();
        while (o == Outcome::Decoded) {
            uint8_t marker = 0;
            if ((o = nextMarker(marker)) != Outcome::Decoded) break;
            const MarkerKind kind = kMarkerKinds[marker];
            if (kind == MarkerKind::EndOfImage) return finish();
            if ((o = segment(kind, marker)) != Outcome::Decoded) break;
            if (kind == MarkerKind::Scan) o = decodeScan();
        }
        return o;
    }

    JpegEighthResult decode(int64_t maxSourcePixels) {
        const JpegEighthHeader header = readHeader();
        if (header.outcome != Outcome::Decoded) return {header.outcome, {}};
        if (int64_t{width_} * height_ > maxSourcePixels) return {Outcome::Unsupported, {}};
        QImage image((width_ + 7) / 8, (height_ + 7) / 8, QImage::Format_RGB32);
        if (image.isNull()) return {Outcome::Unsupported, {}};
        const JpegEighthDecoder::RowSink intoImage = [&image](int y, const QRgb* row) {
            std::memcpy(image.scanLine(y), row, static_cast<size_t>(image.width()) * 4);
        };
        const Outcome o = decodeRows(maxSourcePixels, intoImage);
        if (o != Outcome::Decoded) return {o, {}};
        return {o, image};
    }

  private:
    // The markers from the start of the image to the first scan header, that one included.
    Outcome readHeaderMarkers() {
        if (!window_.ensure(2) || window_.pos[0] != 0xFF || window_.pos[1] != 0xD8) {
            return Outcome::Damaged;
        }
        window_.pos += 2;
        for (;;) {
            uint8_t marker = 0;
            if (const Outcome o = nextMarker(marker); o != Outcome::Decoded) return o;
            const MarkerKind kind = kMarkerKinds[marker];
            if (kind == MarkerKind::EndOfImage) return Outcome::Damaged;  // no picture at all
            if (const Outcome o = segment(kind, marker); o != Outcome::Decoded) return o;
            if (kind == MarkerKind::Scan) {
                firstScanRead_ = true;
                return Outcome::Decoded;
            }
        }
    }

    // Steps to the next marker and reads it. Between segments only fill bytes (0xFF) may
    // stand before a marker.
    Outcome nextMarker(uint8_t& marker) {
        if (!window_.ensure(1)) return Outcome::Truncated;
        if (*window_.pos != 0xFF) return Outcome::Damaged;
        while (*window_.pos == 0xFF) {
            ++window_.pos;
            if (!window_.ensure(1)) return Outcome::Truncated;
        }
        marker = *window_.pos++;
        return Outcome::Decoded;
    }

    // Steps over entropy-coded data to the marker that ends it, leaving the window on that
    // marker's 0xFF. Stuffed bytes (0xFF 0x00) and fill bytes are data; restart markers are
    // too, unless `restartEnds`.
    Outcome skipToMarker(bool restartEnds) {
        for (;;) {
            if (!window_.ensure(2)) return Outcome::Truncated;
            const auto* ff =
                static_cast<const uint8_t*>(std::memchr(window_.pos, 0xFF, window_.available()));
            if (!ff) {
                window_.pos = window_.end;
                continue;
            }
            window_.pos = ff;
            if (!window_.ensure(2)) return Outcome::Truncated;
            const uint8_t next = window_.pos[1];
            const bool restart = next >= kMarkerRst0 && next <= kMarkerRst7;
            if (next == 0x00 || (restart && !restartEnds)) {
                window_.pos += 2;
            } else if (next == 0xFF) {
                ++window_.pos;
            } else {
                return Outcome::Decoded;
            }
        }
    }

    // Reads the segment of a marker just read (the window after its second byte).
    Outcome segment(MarkerKind kind, uint8_t marker) {
        switch (kind) {
            case MarkerKind::Standalone:
                return Outcome::Decoded;
            case MarkerKind::Damaged:
            case MarkerKind::EndOfImage:
                return Outcome::Damaged;
            case MarkerKind::Unsupported:
                return Outcome::Unsupported;
            default:
                break;
        }
        if (!window_.ensure(2)) return Outcome::Truncated;
        const size_t length = be16(window_.pos);
        if (length < 2) return Outcome::Damaged;
        if (!window_.ensure(length)) return Outcome::Truncated;
        const uint8_t* body = window_.pos + 2;
        const size_t n = length - 2;
        Outcome o = Outcome::Decoded;
        switch (kind) {
            case MarkerKind::Frame:
                o = readFrame(body, n, marker);
                break;
            case MarkerKind::Huffman:
                o = readHuffmanTables(body, n);
                break;
            case MarkerKind::Quantization:
                o = readQuantizationTables(body, n);
                break;
            case MarkerKind::RestartInterval:
                if (n != 2) return Outcome::Damaged;
                restartInterval_ = static_cast<int>(be16(body));
                break;
            case MarkerKind::Scan:
                o = readScanHeader(body, n);
                break;
            case MarkerKind::Skipped:
                noteApplicationSegment(marker, body, n);
                break;
            default:
                break;
        }
        window_.pos += length;
        return o;
    }

    Outcome readFrame(const uint8_t* body, size_t n, uint8_t marker) {
        if (frameRead_) return Outcome::Damaged;
        frameRead_ = true;
        if (n < 6) return Outcome::Damaged;
        const int precision = body[0];
        const int height = static_cast<int>(be16(body + 1));
        const int width = static_cast<int>(be16(body + 3));
        const int count = body[5];
        if (n != 6 + 3 * static_cast<size_t>(count) || width == 0 || count == 0) {
            return Outcome::Damaged;
        }
        // 12-bit samples, a height given later by DNL (0 here), libjpeg's size limit, CMYK.
        if (precision != 8 || height == 0 || width > kMaxDimension || height > kMaxDimension ||
            (count != 1 && count != 3)) {
            return Outcome::Unsupported;
        }
        int hMax = 1, vMax = 1;
        for (int i = 0; i < count; ++i) {
            const uint8_t* c = body + 6 + 3 * i;
            Component& comp = components_[static_cast<size_t>(i)];
            comp.id = c[0];
            comp.h = c[1] >> 4;
            comp.v = c[1] & 15;
            comp.quantTable = c[2];
            if (comp.h < 1 || comp.h > 4 || comp.v < 1 || comp.v > 4 || comp.quantTable > 3) {
                return Outcome::Damaged;
            }
            for (int j = 0; j < i; ++j) {
                if (components_[static_cast<size_t>(j)].id == comp.id) return Outcome::Damaged;
            }
            hMax = std::max(hMax, comp.h);
            vMax = std::max(vMax, comp.v);
        }
        // libjpeg upsamples only by whole factors.
        for (int i = 0; i < count; ++i) {
            const Component& comp = components_[static_cast<size_t>(i)];
            if (hMax % comp.h != 0 || vMax % comp.v != 0) return Outcome::Unsupported;
        }
        width_ = width;
        height_ = height;
        componentCount_ = count;
        progressive_ = marker == kMarkerSof2;
        hMax_ = hMax;
        vMax_ = vMax;
        mcusAcross_ = (width + 8 * hMax - 1) / (8 * hMax);
        mcusDown_ = (height + 8 * vMax - 1) / (8 * vMax);
        for (int i = 0; i < count; ++i) {
            Component& comp = components_[static_cast<size_t>(i)];
            const int samplesWide = (width * comp.h + hMax - 1) / hMax;
            const int samplesHigh = (height * comp.v + vMax - 1) / vMax;
            comp.blocksWide = (samplesWide + 7) / 8;
            comp.blocksHigh = (samplesHigh + 7) / 8;
            comp.stride = mcusAcross_ * comp.h;
            comp.rows = mcusDown_ * comp.v;
        }
        return Outcome::Decoded;
    }

    Outcome readHuffmanTables(const uint8_t* body, size_t n) {
        while (n > 0) {
            if (n < 17) return Outcome::Damaged;
            const int tableClass = body[0] >> 4, id = body[0] & 15;
            if (tableClass > 1 || id > 3) return Outcome::Damaged;
            int total = 0;
            for (int i = 1; i <= 16; ++i) total += body[i];
            if (total > 256 || n < 17 + static_cast<size_t>(total)) return Outcome::Damaged;
            HuffmanTable& t = (tableClass == 0 ? dcTables_ : acTables_)[static_cast<size_t>(id)];
            defineHuffman(t, body + 1, body + 17, total);
            body += 17 + total;
            n -= 17 + static_cast<size_t>(total);
        }
        return Outcome::Decoded;
    }

    Outcome readQuantizationTables(const uint8_t* body, size_t n) {
        while (n > 0) {
            const int precision = body[0] >> 4, id = body[0] & 15;
            if (precision > 1 || id > 3) return Outcome::Damaged;
            const size_t size = 1 + 64 * (static_cast<size_t>(precision) + 1);
            if (n < size) return Outcome::Damaged;
            // Only entry 0 matters: the first in zigzag order is the DC coefficient's.
            quantDc_[static_cast<size_t>(id)] =
                static_cast<int32_t>(precision ? be16(body + 1) : body[1]);
            body += size;
            n -= size;
        }
        return Outcome::Decoded;
    }

    Outcome readScanHeader(const uint8_t* body, size_t n) {
        if (!frameRead_ || n < 1) return Outcome::Damaged;
        ScanHeader& s = scan_;
        s.count = body[0];
        if (s.count < 1 || s.count > kMaxScanComponents ||
            n != 4 + 2 * static_cast<size_t>(s.count)) {
            return Outcome::Damaged;
        }
        for (int i = 0; i < s.count; ++i) {
            const uint8_t* c = body + 1 + 2 * i;
            int index = -1;
            for (int j = 0; j < componentCount_; ++j) {
                if (components_[static_cast<size_t>(j)].id == c[0]) index = j;
            }
            if (index < 0) return Outcome::Damaged;
            for (int j = 0; j < i; ++j) {
                if (s.component[static_cast<size_t>(j)] == index) return Outcome::Damaged;
            }
            s.component[static_cast<size_t>(i)] = index;
            s.dcTable[static_cast<size_t>(i)] = c[1] >> 4;
            s.acTable[static_cast<size_t>(i)] = c[1] & 15;
            if (c[1] >> 4 > 3 || (c[1] & 15) > 3) return Outcome::Damaged;
        }
        const uint8_t* tail = body + 1 + 2 * s.count;
        s.ss = tail[0];
        s.se = tail[1];
        s.ah = tail[2] >> 4;
        s.al = tail[2] & 15;
        return Outcome::Decoded;
    }

    // libjpeg reads the colour space from APP0 (JFIF) and APP14 (Adobe) before the first scan.
    void noteApplicationSegment(uint8_t marker, const uint8_t* body, size_t n) {
        if (firstScanRead_) return;
        if (marker == kMarkerApp0 && n >= 14 && std::memcmp(body, "JFIF\0", 5) == 0) {
            sawJfif_ = true;
        }
        if (marker == kMarkerApp14 && n >= 12 && std::memcmp(body, "Adobe", 5) == 0) {
            sawAdobe_ = true;
            adobeTransform_ = body[11];
        }
    }

    ColourSpace colourSpace() const {
        if (componentCount_ == 1) return ColourSpace::Grey;
        // NOTE: a JFIF marker together with Adobe's "no transform" is left to libjpeg, whose
        // reading of that contradiction is its own.
        if (sawJfif_ && sawAdobe_ && adobeTransform_ == 0) return ColourSpace::Contradictory;
        if (sawJfif_) return ColourSpace::YCbCr;
        if (sawAdobe_) return adobeTransform_ == 0 ? ColourSpace::Rgb : ColourSpace::YCbCr;
        const Component* c = components_.data();
        if (c[0].id == 'R' && c[1].id == 'G' && c[2].id == 'B') return ColourSpace::Rgb;
        return ColourSpace::YCbCr;
    }

    void allocatePlanes() {
        for (int i = 0; i < componentCount_; ++i) {
            Component& comp = components_[static_cast<size_t>(i)];
            const int rows = streamed_ ? blockRowsPerMcuRow(comp) : comp.rows;
            comp.plane.assign(static_cast<size_t>(comp.stride) * static_cast<size_t>(rows), 0);
        }
    }

    // A scan of one component alone goes block row by block row, an interleaved one MCU row
    // by MCU row.
    int blockRowsPerMcuRow(const Component& comp) const {
        return componentCount_ == 1 ? 1 : comp.v;
    }

    // Checks the scan just read against the frame and the tables, then decodes it (or, for a
    // progressive AC scan, steps over it).
    Outcome decodeScan() {
        const ScanHeader& s = scan_;
        const bool dcScan = s.ss == 0;
        if (!progressive_) {
            // libjpeg only warns about a sequential scan that is not the whole spectrum.
            if (s.ss != 0 || s.se != 63 || s.ah != 0 || s.al != 0) return Outcome::Unsupported;
        } else {
            const bool bad = (dcScan ? s.se != 0 : (s.se < s.ss || s.se > 63 || s.count != 1)) ||
                             (s.ah != 0 && s.al != s.ah - 1) || s.al > 13;
            if (bad) return Outcome::Damaged;
        }
        int blocksInMcu = 0;
        for (int i = 0; i < s.count; ++i) {
            Component& comp = components_[static_cast<size_t>(s.component[static_cast<size_t>(i)])];
            blocksInMcu += comp.h * comp.v;
            if (comp.quantDc < 0) {
                if (quantDc_[static_cast<size_t>(comp.quantTable)] < 0) return Outcome::Damaged;
                comp.quantDc = quantDc_[static_cast<size_t>(comp.quantTable)];
            }
            const bool needsDc = !progressive_ || (dcScan && s.ah == 0);
            const bool needsAc = !progressive_ || !dcScan;
            if (needsDc) {
                if (const Outcome o =
                        prepareTable(dcTables_[static_cast<size_t>(s.dcTable[i])], false);
                    o != Outcome::Decoded) {
                    return o;
                }
            }
            if (needsAc) {
                if (const Outcome o =
                        prepareTable(acTables_[static_cast<size_t>(s.acTable[i])], true);
                    o != Outcome::Decoded) {
                    return o;
                }
            }
            if (!progressive_) {
                if (comp.scans++ > 0) return Outcome::Damaged;
            } else if (dcScan) {
                // libjpeg warns of a first DC scan twice or a refinement out of turn.
                if (s.ah == 0 ? comp.dcBits >= 0 : comp.dcBits != s.ah) return Outcome::Damaged;
                comp.dcBits = s.al;
            }
        }
        if (s.count > 1 && blocksInMcu > kMaxBlocksInMcu) return Outcome::Damaged;
        if (progressive_ && !dcScan) return skipToMarker(false);

        const ScanPlan plan = planScan();
        if (!progressive_) {
            return runScan(plan, [](BitReader& r, const BlockPlace& p, int32_t& predictor,
                                    int16_t& coefficient) {
                int32_t diff = 0;
                if (!decodeDcDifference(*p.dc, r, diff)) return false;
                if (__builtin_add_overflow(predictor, diff, &predictor)) return false;
                coefficient = static_cast<int16_t>(predictor);
                return skipAc(*p.ac, r);
            });
        }
        const int al = s.al;
        if (s.ah == 0) {
            return runScan(plan, [al](BitReader& r, const BlockPlace& p, int32_t& predictor,
                                      int16_t& coefficient) {
                int32_t diff = 0;
                if (!decodeDcDifference(*p.dc, r, diff)) return false;
                if (__builtin_add_overflow(predictor, diff, &predictor)) return false;
                coefficient = static_cast<int16_t>(static_cast<uint32_t>(predictor) << al);
                return true;
            });
        }
        return runScan(plan, [al](BitReader& r, const BlockPlace&, int32_t&, int16_t& coefficient) {
            r.fill();
            if (r.peek(1)) {
                coefficient = static_cast<int16_t>(static_cast<uint16_t>(coefficient) | (1u << al));
            }
            r.drop(1);
            return true;
        });
    }

    // A table about to be used: it must exist (libjpeg-turbo would supply the standard one),
    // be sound, and hold only DC categories 0-15 when it codes DC differences. Its look-up is
    // made only for a scan that is decoded, not for the AC scans of a progressive file.
    Outcome prepareTable(HuffmanTable& t, bool ac) {
        if (!t.defined) return Outcome::Unsupported;
        if (!t.sound) return Outcome::Damaged;
        if (!ac) {
            for (int i = 0; i < t.symbolCount; ++i) {
                if (t.symbols[static_cast<size_t>(i)] > 15) return Outcome::Damaged;
            }
        }
        if (!t.built && (!ac || !progressive_)) buildLookup(t, ac);
        return Outcome::Decoded;
    }

    ScanPlan planScan() {
        const ScanHeader& s = scan_;
        ScanPlan plan;
        auto place = [&](int i, Component& comp) {
            BlockPlace p;
            p.plane = comp.plane.data();
            p.predictor = i;
            p.dc = &dcTables_[static_cast<size_t>(s.dcTable[static_cast<size_t>(i)])];
            p.ac = &acTables_[static_cast<size_t>(s.acTable[static_cast<size_t>(i)])];
            return p;
        };
        if (s.count == 1) {
            // One component alone: its blocks one by one, row by row, without the MCU padding.
            Component& comp = components_[static_cast<size_t>(s.component[0])];
            plan.mcusAcross = comp.blocksWide;
            plan.mcusDown = comp.blocksHigh;
            plan.blockCount = 1;
            BlockPlace p = place(0, comp);
            p.mcuStepX = 1;
            p.mcuStepY = streamed_ ? 0 : comp.stride;
            plan.blocks[0] = p;
            return plan;
        }
        plan.mcusAcross = mcusAcross_;
        plan.mcusDown = mcusDown_;
        for (int i = 0; i < s.count; ++i) {
            Component& comp = components_[static_cast<size_t>(s.component[static_cast<size_t>(i)])];
            for (int y = 0; y < comp.v; ++y) {
                for (int x = 0; x < comp.h; ++x) {
                    BlockPlace p = place(i, comp);
                    p.offset = static_cast<ptrdiff_t>(y) * comp.stride + x;
                    p.mcuStepX = comp.h;
                    p.mcuStepY = streamed_ ? 0 : static_cast<ptrdiff_t>(comp.v) * comp.stride;
                    plan.blocks[static_cast<size_t>(plan.blockCount++)] = p;
                }
            }
        }
        return plan;
    }

    // Decodes the scan's MCUs, block by block, with restart intervals, and steps to the marker
    // after its data.
    template <typename DecodeBlock>
    Outcome runScan(const ScanPlan& plan, DecodeBlock decodeBlock) {
        BitReader reader(window_);
        reader.fill();  // each block starts with bits held
        std::array<int32_t, kMaxScanComponents> predictors{};
        const int interval = restartInterval_;
        int untilRestart = interval;
        unsigned nextRestart = 0;
        auto ranOut = [&reader] {
            return reader.fileEnded() ? Outcome::Truncated : Outcome::Damaged;
        };
        // Where each block of the MCU puts its coefficient, moved on MCU by MCU.
        std::array<int16_t*, kMaxBlocksInMcu> at{};
        for (int my = 0; my < plan.mcusDown; ++my) {
            for (int b = 0; b < plan.blockCount; ++b) {
                const BlockPlace& p = plan.blocks[static_cast<size_t>(b)];
                at[static_cast<size_t>(b)] = p.plane + my * p.mcuStepY + p.offset;
            }
            for (int mx = 0; mx < plan.mcusAcross; ++mx) {
                if (interval != 0) {
                    if (untilRestart == 0) {
                        if (reader.overrun()) return ranOut();
                        reader.release();
                        if (const Outcome o = restart(nextRestart); o != Outcome::Decoded) {
                            return o;
                        }
                        reader.resume();
                        reader.fill();
                        predictors.fill(0);
                        nextRestart = (nextRestart + 1) & 7;
                        untilRestart = interval;
                    }
                    --untilRestart;
                }
                for (int b = 0; b < plan.blockCount; ++b) {
                    const BlockPlace& p = plan.blocks[static_cast<size_t>(b)];
                    int16_t*& coefficient = at[static_cast<size_t>(b)];
                    if (!decodeBlock(reader, p, predictors[static_cast<size_t>(p.predictor)],
                                     *coefficient)) {
                        return ranOut();
                    }
                    coefficient += p.mcuStepX;
                }
                if (reader.overrun()) return ranOut();
            }
            if (streamed_) emitMcuRow(my);
        }
        reader.release();
        return skipToMarker(false);
    }

    // At the end of a restart interval: the expected restart marker, after whatever is left
    // of the interval's data (libjpeg skips it too).
    Outcome restart(unsigned expected) {
        if (const Outcome o = skipToMarker(true); o != Outcome::Decoded) return o;
        uint8_t marker = 0;
        if (const Outcome o = nextMarker(marker); o != Outcome::Decoded) return o;
        return marker == kMarkerRst0 + expected ? Outcome::Decoded : Outcome::Damaged;
    }

    Outcome finish() {
        for (int i = 0; i < componentCount_; ++i) {
            const Component& comp = components_[static_cast<size_t>(i)];
            // A component no scan carried: libjpeg would show it as it sees fit.
            if (progressive_ ? comp.dcBits < 0 : comp.scans != 1) return Outcome::Damaged;
        }
        if (!streamed_) emitRows(0, (height_ + 7) / 8, {});
        return Outcome::Decoded;
    }

    // The output rows of one row of MCUs, from the one row of blocks the planes keep.
    void emitMcuRow(int my) {
        const int rowsPerMcuRow = componentCount_ == 1 ? 1 : vMax_;
        const int first = my * rowsPerMcuRow;
        const int last = std::min(first + rowsPerMcuRow, (height_ + 7) / 8);
        std::array<int, kMaxComponents> firstBlockRow{};
        for (int i = 0; i < componentCount_; ++i) {
            firstBlockRow[static_cast<size_t>(i)] =
                my * blockRowsPerMcuRow(components_[static_cast<size_t>(i)]);
        }
        emitRows(first, last, firstBlockRow);
    }

    // Converts output rows [first, last) to RGB and hands them to the sink. An output pixel
    // is the sample of the block under it in each component (chroma spread over the pixels it
    // covers); row 0 of a component's plane holds block row firstBlockRow.
    void emitRows(int first, int last, const std::array<int, kMaxComponents>& firstBlockRow) {
        const int outWidth = (width_ + 7) / 8;
        if (line_.empty()) {
            line_.resize(static_cast<size_t>(outWidth));
            for (int i = 0; i < componentCount_; ++i) {
                const Component& comp = components_[static_cast<size_t>(i)];
                std::vector<int>& columns = columnOf_[static_cast<size_t>(i)];
                columns.resize(static_cast<size_t>(outWidth));
                for (int x = 0; x < outWidth; ++x) {
                    columns[static_cast<size_t>(x)] = x * comp.h / hMax_;
                }
                blockSamples_[static_cast<size_t>(i)].resize(static_cast<size_t>(columns.back()) +
                                                             1);
                samples_[static_cast<size_t>(i)].resize(static_cast<size_t>(outWidth));
            }
        }
        std::array<const uint8_t*, kMaxComponents> samples{};
        for (int y = first; y < last; ++y) {
            for (int i = 0; i < componentCount_; ++i) {
                const Component& comp = components_[static_cast<size_t>(i)];
                const int blockRow = y * comp.v / vMax_ - firstBlockRow[static_cast<size_t>(i)];
                const int16_t* row =
                    comp.plane.data() + static_cast<ptrdiff_t>(blockRow) * comp.stride;
                const int32_t q = comp.quantDc;
                std::vector<uint8_t>& blockSamples = blockSamples_[static_cast<size_t>(i)];
                for (size_t bx = 0; bx < blockSamples.size(); ++bx) {
                    // libjpeg's 1 x 1 inverse DCT: the dequantized DC over 8, rounded.
                    blockSamples[bx] = clampSample(((row[bx] * q + 4) >> 3) + 128);
                }
                if (comp.h == hMax_) {  // a block a pixel
                    samples[static_cast<size_t>(i)] = blockSamples.data();
                    continue;
                }
                uint8_t* spread = samples_[static_cast<size_t>(i)].data();
                const int* columns = columnOf_[static_cast<size_t>(i)].data();
                for (int x = 0; x < outWidth; ++x) spread[x] = blockSamples[columns[x]];
                samples[static_cast<size_t>(i)] = spread;
            }
            convertRow(outWidth, samples);
            (*sink_)(y, line_.data());
        }
    }

    void convertRow(int outWidth, const std::array<const uint8_t*, kMaxComponents>& samples) {
        QRgb* line = line_.data();
        const uint8_t* c0 = samples[0];
        if (colour_ == ColourSpace::Grey) {
            for (int x = 0; x < outWidth; ++x) line[x] = qRgb(c0[x], c0[x], c0[x]);
            return;
        }
        const uint8_t* c1 = samples[1];
        const uint8_t* c2 = samples[2];
        if (colour_ == ColourSpace::Rgb) {
            for (int x = 0; x < outWidth; ++x) line[x] = qRgb(c0[x], c1[x], c2[x]);
            return;
        }
        for (int x = 0; x < outWidth; ++x) {
            const int32_t luma = c0[x];
            const uint8_t cb = c1[x], cr = c2[x];
            line[x] = qRgb(kRangeLimit.at(luma + kYcc.crToR[cr]),
                           kRangeLimit.at(luma + ((kYcc.cbToG[cb] + kYcc.crToG[cr]) >> kScaleBits)),
                           kRangeLimit.at(luma + kYcc.cbToB[cb]));
        }
    }

    Window window_;
    JpegEighthHeader header_;
    bool headerRead_ = false, frameRead_ = false, firstScanRead_ = false;
    int width_ = 0, height_ = 0, componentCount_ = 0, hMax_ = 1, vMax_ = 1;
    int mcusAcross_ = 0, mcusDown_ = 0;
    bool progressive_ = false;
    std::array<Component, kMaxComponents> components_;
    std::array<int32_t, 4> quantDc_{-1, -1, -1, -1};
    std::array<HuffmanTable, 4> dcTables_, acTables_;
    int restartInterval_ = 0;
    ScanHeader scan_;
    bool sawJfif_ = false, sawAdobe_ = false;
    int adobeTransform_ = -1;
    // The output.
    ColourSpace colour_ = ColourSpace::YCbCr;
    bool streamed_ = false;
    const JpegEighthDecoder::RowSink* sink_ = nullptr;
    std::vector<QRgb> line_;
    std::array<std::vector<uint8_t>, kMaxComponents> blockSamples_, samples_;
    std::array<std::vector<int>, kMaxComponents> columnOf_;
};

JpegEighthDecoder::JpegEighthDecoder(std::span<const uint8_t> bytes)
    : impl_(std::make_unique<Impl>(bytes)) {}
JpegEighthDecoder::JpegEighthDecoder(QIODevice& device) : impl_(std::make_unique<Impl>(device)) {}
JpegEighthDecoder::~JpegEighthDecoder() = default;

JpegEighthHeader JpegEighthDecoder::readHeader() {
    return impl_->readHeader();
}

JpegEighthResult JpegEighthDecoder::decode(int64_t maxSourcePixels) {
    return impl_->decode(maxSourcePixels);
}

JpegEighthOutcome JpegEighthDecoder::decodeRows(int64_t maxSourcePixels, const RowSink& sink) {
    return impl_->decodeRows(maxSourcePixels, sink);
}

JpegEighthResult DecodeJpegEighth(std::span<const uint8_t> bytes, int64_t maxSourcePixels) {
    return JpegEighthDecoder(bytes).decode(maxSourcePixels);
}

}  // namespace ostrel::jobs
