// What Load checks in a picture file before a decoder sees it: the kind, the size its header
// claims, and whether the file holds the whole picture.
#include "picture/Completeness.h"

#include <cstdlib>
#include <string_view>

namespace ostrel::picture {

namespace {

using namespace std::string_view_literals;

struct Magic {
    std::string_view bytes;
    Signature signature;
};
constexpr Magic kMagic[] = {
    {"\xFF\xD8\xFF"sv, {PictureKind::Jpeg, "jpeg"}},
    {"GIF87a"sv, {PictureKind::Gif, "gif"}},
    {"GIF89a"sv, {PictureKind::Gif, "gif"}},
    {"BM"sv, {PictureKind::Bmp, "bmp"}},
    {"\x89PNG\r\n\x1A\n"sv, {PictureKind::Png, "png"}},
};

unsigned byteAt(const QByteArray& d, qsizetype i) {
    return static_cast<unsigned char>(d[i]);
}
uint32_t le16(const QByteArray& d, qsizetype i) {
    return byteAt(d, i) | byteAt(d, i + 1) << 8;
}
uint32_t le32(const QByteArray& d, qsizetype i) {
    return le16(d, i) | le16(d, i + 2) << 16;
}

}  // namespace

const Signature* Recognise(const QByteArray& bytes) {
    const std::string_view head(bytes.constData(), static_cast<size_t>(bytes.size()));
    for (const Magic& m : kMagic) {
        if (head.substr(0, m.bytes.size()) == m.bytes) return &m.signature;
    }
    return nullptr;
}

ClaimedSize claimedPictureSize(const QByteArray& d, PictureKind kind) {
    switch (kind) {
        case PictureKind::Gif:  // the logical screen
            if (d.size() < 10) return {};
            return {le16(d, 6), le16(d, 8)};
        case PictureKind::Png: {  // the first chunk, IHDR, big-endian
            if (d.size() < 24) return {};
            auto be32 = [&d](qsizetype i) {
                return int64_t{byteAt(d, i)} << 24 | byteAt(d, i + 1) << 16 |
                       byteAt(d, i + 2) << 8 | byteAt(d, i + 3);
            };
            return {be32(16), be32(20)};
        }
        case PictureKind::Bmp:
            if (d.size() < 26) return {};
            if (le32(d, 14) == 12) return {le16(d, 18), le16(d, 20)};
            return {static_cast<int32_t>(le32(d, 18)),
                    std::abs(int64_t{static_cast<int32_t>(le32(d, 22))})};
        case PictureKind::Jpeg:
            break;
    }
    return {};
}

bool bmpComplete(const QByteArray& d) {
    if (d.size() < 26) return false;
    const int64_t pixelOffset = le32(d, 10);
    const uint32_t headerBytes = le32(d, 14);
    int64_t width = 0, height = 0, bitsPerPixel = 0;
    uint32_t compression = 0, imageBytes = 0;
    if (headerBytes == 12) {  // the old core header: 16-bit sizes
        width = le16(d, 18);
        height = le16(d, 20);
        bitsPerPixel = le16(d, 24);
    } else {
        if (d.size() < 38) return false;
        width = static_cast<int32_t>(le32(d, 18));
        height = static_cast<int32_t>(le32(d, 22));
        bitsPerPixel = le16(d, 28);
        compression = le32(d, 30);
        imageBytes = le32(d, 34);
    }
    if (width <= 0 || height == 0 || bitsPerPixel <= 0) return true;  // the decoder judges
    constexpr uint32_t kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;
    int64_t pixelBytes = imageBytes;
    if (compression == kRgb || compression == kBitFields || compression == kAlphaBitFields) {
        pixelBytes = (width * bitsPerPixel + 31) / 32 * 4 * std::abs(height);
    }
    return d.size() >= pixelOffset + pixelBytes;
}

bool gifFirstFrameComplete(const QByteArray& d) {
    const qsizetype n = d.size();
    if (n < 13) return false;
    auto colourTableBytes = [](unsigned packed) {
        return (packed & 0x80) ? 3 * (2 << (packed & 7)) : 0;
    };
    qsizetype pos = 13 + colourTableBytes(byteAt(d, 10));
    auto skipSubBlocks = [&] {
        while (pos < n) {
            const unsigned length = byteAt(d, pos++);
            if (length == 0) return true;
            pos += length;
        }
        return false;
    };
    while (pos < n) {
        const unsigned introducer = byteAt(d, pos++);
        if (introducer == 0x21) {  // extension: a label, then sub-blocks
            ++pos;
            if (!skipSubBlocks()) return false;
        } else if (introducer == 0x2C) {  // the first frame
            if (pos + 9 > n) return false;
            pos += 9 + colourTableBytes(byteAt(d, pos + 8));
            ++pos;  // LZW minimum code size
            return skipSubBlocks();
        } else {
            return true;  // no frame at all: the decoder says what is wrong
        }
    }
    return false;
}

}  // namespace ostrel::picture
