// Picture files made in memory for the loading tests: encoded pictures, GIFs and bomb headers.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ostrel::test {

inline QByteArray encode(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

inline std::string writeFile(const std::string& folder, const std::string& name,
                             const QByteArray& bytes) {
    const std::string path = folder + "/" + name;
    QFile file(QString::fromStdString(path));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    return path;
}

inline QImage solid(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A picture with smooth colour changes, so that a JPEG of it decodes close to the original.
inline QImage gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(255 * x / width, 255 * y / height, 128));
        }
    }
    return image;
}

// A GIF89a with a two-colour palette (red, blue) and one frame per entry; frame k paints
// pixel (x, y) in palette index pixel(k, x, y). Its LZW codes are written so that the code
// table never grows past three bits: a clear code before every second pixel.
inline QByteArray makeGif(int width, int height, int frames,
                          const std::function<int(int, int, int)>& pixel) {
    QByteArray gif("GIF89a");
    auto word = [&gif](int v) {
        gif.append(static_cast<char>(v & 255));
        gif.append(static_cast<char>((v >> 8) & 255));
    };
    word(width);
    word(height);
    gif.append(
        QByteArray::fromHex("800000"
                            "FF0000"
                            "0000FF"));
    for (int k = 0; k < frames; ++k) {
        gif.append(QByteArray::fromHex("21F904000A000000"));  // 1/10 s per frame
        gif.append(static_cast<char>(0x2C));
        word(0);
        word(0);
        word(width);
        word(height);
        gif.append('\0');
        gif.append(static_cast<char>(2));  // LZW minimum code size
        constexpr int kClear = 4, kEnd = 5, kCodeBits = 3;
        std::vector<int> codes;
        for (int i = 0; i < width * height; ++i) {
            if (i % 2 == 0) codes.push_back(kClear);
            codes.push_back(pixel(k, i % width, i / width));
        }
        codes.push_back(kEnd);
        QByteArray data;
        uint32_t bits = 0;
        int count = 0;
        for (int code : codes) {
            bits |= static_cast<uint32_t>(code) << count;
            count += kCodeBits;
            while (count >= 8) {
                data.append(static_cast<char>(bits & 255));
                bits >>= 8;
                count -= 8;
            }
        }
        if (count > 0) data.append(static_cast<char>(bits & 255));
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            gif.append(static_cast<char>(block.size()));
            gif.append(block);
        }
        gif.append('\0');
    }
    gif.append(static_cast<char>(0x3B));
    return gif;
}

// A 24-bit BMP header claiming width x height pixels, with no pixels behind it.
inline QByteArray bmpHeader(int32_t width, int32_t height) {
    QByteArray bmp("BM");
    auto dword = [&bmp](uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp.append(static_cast<char>((v >> (8 * i)) & 255));
    };
    auto word = [&bmp](uint16_t v) {
        bmp.append(static_cast<char>(v & 255));
        bmp.append(static_cast<char>(v >> 8));
    };
    dword(54 + 16);  // file size: what is really there
    dword(0);
    dword(54);  // pixel data offset
    dword(40);  // info header size
    dword(static_cast<uint32_t>(width));
    dword(static_cast<uint32_t>(height));
    word(1);   // planes
    word(24);  // bits per pixel
    for (int i = 0; i < 6; ++i) dword(0);
    bmp.append(QByteArray(16, '\0'));
    return bmp;
}

inline uint32_t crc32(const QByteArray& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (char ch : bytes) {
        crc ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG claiming width x height RGB pixels: a valid IHDR, a token of image data and the end.
inline QByteArray pngHeader(uint32_t width, uint32_t height) {
    auto bigEndian = [](QByteArray& out, uint32_t v) {
        for (int i = 3; i >= 0; --i) out.append(static_cast<char>((v >> (8 * i)) & 255));
    };
    QByteArray png = QByteArray::fromHex("89504E470D0A1A0A");
    auto chunk = [&](const char* type, const QByteArray& data) {
        bigEndian(png, static_cast<uint32_t>(data.size()));
        const QByteArray body = QByteArray(type) + data;
        png.append(body);
        bigEndian(png, crc32(body));
    };
    QByteArray header;
    bigEndian(header, width);
    bigEndian(header, height);
    header.append(QByteArray::fromHex("0802000000"));  // 8 bits, RGB, deflate, no interlace
    chunk("IHDR", header);
    chunk("IDAT", QByteArray::fromHex("789C030000000001"));  // an empty zlib stream
    chunk("IEND", {});
    return png;
}

// A GIF whose screen and only frame claim width x height pixels, with a token of data.
inline QByteArray gifHeader(uint16_t width, uint16_t height) {
    QByteArray whole = makeGif(2, 2, 1, [](int, int, int) { return 0; });
    for (int at : {6, 6 + 7 + 6 + 8 + 5}) {  // screen descriptor, then frame size
        whole[at] = static_cast<char>(width & 255);
        whole[at + 1] = static_cast<char>(width >> 8);
        whole[at + 2] = static_cast<char>(height & 255);
        whole[at + 3] = static_cast<char>(height >> 8);
    }
    return whole;
}

}  // namespace ostrel::test
