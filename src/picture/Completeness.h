// What Load checks in a picture file before a decoder sees it: the kind, the size its header
// claims, and whether the file holds the whole picture.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace ostrel::picture {

enum class PictureKind { Jpeg, Gif, Bmp, Png };

// The kinds of file Load takes, told apart by their first bytes (never by the file name).
struct Signature {
    PictureKind kind;
    const char* qtFormat;
};
// The kind the first bytes show; null when they show none of them.
const Signature* Recognise(const QByteArray& head);

struct ClaimedSize {
    int64_t width = 0, height = 0;
};

// The picture size a GIF, BMP or PNG header claims, read before any decoder sees the file.
ClaimedSize claimedPictureSize(const QByteArray& file, PictureKind kind);

// Qt's BMP decoder leaves the rows missing from a truncated file blank and calls it a
// success, so the file must be as long as its header says the pixels are.
bool bmpComplete(const QByteArray& file);

// Qt's GIF decoder shows a frame cut short with its missing part blank and calls it a success,
// so the blocks are walked up to the end of the first frame's data.
bool gifFirstFrameComplete(const QByteArray& file);

}  // namespace ostrel::picture
