// Decoding picture files for Load, with their limits.
#include "picture/PictureLoader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <cerrno>
#include <cstring>
#include <optional>

#include "picture/Completeness.h"
#include "picture/JpegDecoder.h"

namespace ostrel::picture {

namespace {

DecodedPicture failure(const std::string& path, const std::string& why) {
    return {QImage(), "Cannot load the picture \"" + path + "\": " + why, {}};
}

// The claimed size against the limit of its kind; nullopt when it is within.
std::optional<DecodedPicture> refuseTooLarge(const std::string& path, ClaimedSize claimed,
                                             int64_t limit) {
    // NOTE: each side first: a PNG may claim 2^32 - 1 a side, whose product overflows.
    if (claimed.width > limit || claimed.height > limit || claimed.width * claimed.height > limit) {
        return failure(path, "the picture is too large (" + std::to_string(claimed.width) + " x " +
                                 std::to_string(claimed.height) + " pixels; at most " +
                                 std::to_string(limit / 1'000'000) + " million pixels).");
    }
    return std::nullopt;
}

// Closes the descriptor however the load ends.
class OpenFile {
  public:
    explicit OpenFile(int fd) : fd_(fd) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    int fd() const { return fd_; }

  private:
    int fd_;
};

// Reads up to `count` bytes from `offset`; fewer only at the end of the file. Empty with
// `error` set when reading fails.
QByteArray readAt(int fd, qint64 offset, qint64 count, int& error) {
    QByteArray bytes(count, Qt::Uninitialized);
    qint64 done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, bytes.data() + done, static_cast<size_t>(count - done),
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            return {};
        }
        if (n == 0) break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}

std::string cannotRead(int error) {
    return std::string("the file cannot be read (") + std::strerror(error) + ").";
}

DecodedPicture decodeJpeg(const std::string& path, int fd, off_t fileBytes, QSize raster) {
    const JpegResult jpeg = DecodeJpeg(fd, raster, {kMaxJpegSourcePixels, kMaxJpegDecoderBytes});
    switch (jpeg.outcome) {
        case JpegOutcome::Decoded:
            break;
        case JpegOutcome::HeaderUnreadable:
            return failure(path, "the file is damaged: its header gives no picture size.");
        case JpegOutcome::Unsupported:
            return failure(path, "this kind of JPEG is not supported (" + jpeg.detail + ").");
        case JpegOutcome::TooManyPixels:
            return *refuseTooLarge(path, {jpeg.width, jpeg.height}, kMaxJpegSourcePixels);
        case JpegOutcome::TooMuchMemory:
            return failure(
                path, "the picture is too large to decode (" + std::to_string(jpeg.width) + " x " +
                          std::to_string(jpeg.height) + " pixels in several scans need " +
                          std::to_string(jpeg.memoryBytes >> 20) + " MB; at most " +
                          std::to_string(kMaxJpegDecoderBytes >> 20) + " MB).");
        case JpegOutcome::Truncated:
            return failure(path, "the file is truncated: it ends before the picture does.");
        case JpegOutcome::Damaged:
            return failure(path,
                           "the file is damaged and cannot be decoded (" + jpeg.detail + ").");
        case JpegOutcome::ReadFailed:
            return failure(path, "the file cannot be read (" + jpeg.detail + ").");
    }
    // NOTE: the file is read as it is decoded; one that changed size meanwhile is not the file
    // that was found.
    struct stat after {};
    if (::fstat(fd, &after) != 0 || after.st_size != fileBytes) {
        return failure(path, "the file changed while it was being loaded.");
    }
    return {jpeg.image, {}, QSize(jpeg.width, jpeg.height)};
}

// GIF, BMP and PNG through Qt's readers, from the file's bytes in memory, at full size.
DecodedPicture decodeWithQt(const std::string& path, int fd, off_t fileBytes,
                            const Signature& signature) {
    int error = 0;
    QByteArray bytes = readAt(fd, 0, fileBytes, error);
    if (error != 0) return failure(path, cannotRead(error));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader::setAllocationLimit(kDecodeAllocationLimitMb);
    QImageReader reader(&buffer, signature.qtFormat);
    // Qt gives no size at all for some huge headers, so the claim is read from the header
    // itself, where it stands at a fixed place.
    const ClaimedSize claimed = claimedPictureSize(bytes, signature.kind);
    if (claimed.width <= 0 || claimed.height <= 0) {
        return failure(path, "the file is damaged: its header gives no picture size.");
    }
    if (auto refused = refuseTooLarge(path, claimed, kMaxDecodedPixels)) return *refused;
    // NOTE: Qt gives a top-down BMP's negative height as it stands in the header.
    const QSize size = reader.size();
    if (size.width() <= 0 || size.height() == 0) {
        return failure(path, "the file is damaged: its header gives no picture size.");
    }
    // libpng refuses truncated files by itself.
    bool complete = true;
    if (signature.kind == PictureKind::Bmp) complete = bmpComplete(bytes);
    if (signature.kind == PictureKind::Gif) complete = gifFirstFrameComplete(bytes);
    if (!complete) return failure(path, "the file is truncated: it ends before the picture does.");
    // GIF: the first read gives the first frame of an animation.
    QImage image = reader.read();
    if (image.isNull()) {
        return failure(path, "the file is damaged and cannot be decoded (" +
                                 reader.errorString().toStdString() + ").");
    }
    // Transparent areas white, 32-bit RGB.
    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
        painter.end();
        return {flat, {}, flat.size()};
    }
    return {image.convertToFormat(QImage::Format_RGB32), {}, image.size()};
}

}  // namespace

DecodedPicture decodePictureFile(const std::string& path, QSize raster) {
    // NOTE: opened without blocking and looked at before anything is read: a FIFO would block
    // the open and the read, a device never end.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return failure(path, "the file does not exist.");
        return failure(path, cannotRead(error));
    }
    const OpenFile file(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) return failure(path, cannotRead(errno));
    if (S_ISDIR(info.st_mode)) return failure(path, "it is a folder, not a picture file.");
    if (!S_ISREG(info.st_mode)) {
        return failure(path, "it is not a regular file (a pipe, a device or a socket).");
    }
    if (info.st_size > kMaxPictureFileBytes) {
        return failure(path, "the file is too large (" + std::to_string(info.st_size >> 20) +
                                 " MB; at most " + std::to_string(kMaxPictureFileBytes >> 20) +
                                 " MB).");
    }
    // The kinds are told apart by their first bytes.
    int error = 0;
    const QByteArray head = readAt(fd, 0, 16, error);
    if (error != 0) return failure(path, cannotRead(error));
    const Signature* signature = Recognise(head);
    if (!signature) {
        return failure(path, "it is not a picture the engraver can load (JPEG, GIF, BMP or PNG).");
    }
    if (signature->kind == PictureKind::Jpeg) return decodeJpeg(path, fd, info.st_size, raster);
    return decodeWithQt(path, fd, info.st_size, *signature);
}

}  // namespace ostrel::picture
