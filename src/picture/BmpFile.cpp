// Writing a picture as a 24-bit BMP file without going through Qt's picture plug-ins, replacing
// the file in one step.
#include "picture/BmpFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace ostrel::picture {

namespace {

constexpr int kFileHeaderBytes = 14;
constexpr int kInfoHeaderBytes = 40;  // BITMAPINFOHEADER
constexpr int kPixelOffset = kFileHeaderBytes + kInfoHeaderBytes;

void put16(uchar* at, uint32_t value) {
    at[0] = static_cast<uchar>(value);
    at[1] = static_cast<uchar>(value >> 8);
}

void put32(uchar* at, uint32_t value) {
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

}  // namespace

QByteArray bmpFileBytes(const QImage& picture) {
    if (picture.isNull()) return {};
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width(), height = rgb.height();
    // Rows of blue, green, red, padded to whole 32-bit words, the bottom row first.
    const qsizetype rowBytes = (static_cast<qsizetype>(width) * 3 + 3) & ~qsizetype{3};
    const qsizetype pixelBytes = rowBytes * height;
    QByteArray file(kPixelOffset + pixelBytes, '\0');
    auto* bytes = reinterpret_cast<uchar*>(file.data());
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(bytes + 2, static_cast<uint32_t>(file.size()));
    put32(bytes + 10, kPixelOffset);
    uchar* info = bytes + kFileHeaderBytes;
    put32(info, kInfoHeaderBytes);
    put32(info + 4, static_cast<uint32_t>(width));
    put32(info + 8, static_cast<uint32_t>(height));
    put16(info + 12, 1);   // planes
    put16(info + 14, 24);  // bits per pixel; compression 0: none
    put32(info + 20, static_cast<uint32_t>(pixelBytes));
    put32(info + 24, static_cast<uint32_t>(rgb.dotsPerMeterX()));
    put32(info + 28, static_cast<uint32_t>(rgb.dotsPerMeterY()));
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* row = bytes + kPixelOffset + rowBytes * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uchar>(qBlue(line[x]));
            row[3 * x + 1] = static_cast<uchar>(qGreen(line[x]));
            row[3 * x + 2] = static_cast<uchar>(qRed(line[x]));
        }
    }
    return file;
}

bool saveBmpFile(const QImage& picture, const std::string& path, std::string& error) {
    const QByteArray bytes = bmpFileBytes(picture);
    if (bytes.isEmpty()) {
        error = "there is no picture";
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string temporary = folder + "/.picture.bmp.XXXXXX";
    // mkostemp creates the file exclusively: it never opens what already stands there.
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    auto fail = [&](int code) {
        error = std::strerror(code);
        ::unlink(temporary.c_str());
        return false;
    };
    // Readable by everyone, as a file the program creates with the usual umask would be.
    ::fchmod(fd, 0644);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            return fail(code);
        }
        done += n;
    }
    if (::close(fd) != 0) return fail(errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail(errno);
    return true;
}

}  // namespace ostrel::picture
