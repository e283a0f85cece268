// JPEG files for the decoding tests: pictures encoded by cjpeg, and small ones written by hand.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace ostrel::test {

// A photograph-like picture: smooth colour shading, a few shapes in light and dark, and grain.
inline QImage photoLike(int width, int height, bool grey = false) {
    QImage image(width, height, QImage::Format_RGB32);
    uint32_t grain = 2024;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            grain = grain * 1664525u + 1013904223u;
            const int noise = static_cast<int>(grain >> 28) - 8;
            const double dx = x - width * 0.4, dy = y - height * 0.55;
            const double radius = 0.3 * std::min(width, height);
            int r = 40 + 180 * x / width, g = 60 + 150 * y / height, b = 200 - 120 * x / width;
            if (dx * dx + dy * dy < radius * radius) r = g = b = 70 + (x + y) % 40;
            if ((x / 50) % 2 == 0 && y > height * 3 / 4) r = g = b = 230;
            auto clamp = [](int v) { return std::clamp(v, 0, 255); };
            if (grey) r = g = b = (r + g + b) / 3;
            image.setPixel(x, y, qRgb(clamp(r + noise), clamp(g + noise), clamp(b + noise)));
        }
    }
    return image;
}

inline bool haveCjpeg() {
    return !QStandardPaths::findExecutable("cjpeg").isEmpty();
}

// The picture through cjpeg with the given switches; a grey picture goes in as PGM. Empty
// when cjpeg fails.
inline QByteArray cjpeg(const QImage& picture, const QStringList& switches, bool grey = false) {
    QTemporaryDir dir;
    const QString in = dir.filePath(grey ? "in.pgm" : "in.ppm"), out = dir.filePath("out.jpg");
    {
        QFile file(in);
        if (!file.open(QIODevice::WriteOnly)) return {};
        file.write(QString("%1\n%2 %3\n255\n")
                       .arg(grey ? "P5" : "P6")
                       .arg(picture.width())
                       .arg(picture.height())
                       .toLatin1());
        QByteArray pixels;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb p = picture.pixel(x, y);
                pixels.append(static_cast<char>(qRed(p)));
                if (grey) continue;
                pixels.append(static_cast<char>(qGreen(p)));
                pixels.append(static_cast<char>(qBlue(p)));
            }
        }
        file.write(pixels);
    }
    QStringList arguments = switches;
    for (QString& a : arguments) a.replace("@DIR@", dir.path());
    QProcess process;
    process.start("cjpeg", arguments + QStringList{"-outfile", out, in});
    if (!process.waitForFinished(60'000) || process.exitCode() != 0) return {};
    QFile result(out);
    if (!result.open(QIODevice::ReadOnly)) return {};
    return result.readAll();
}

// libjpeg's own decode at 1/denominator (djpeg), as RGB. Null when djpeg fails.
inline QImage djpeg(const QByteArray& jpeg, int denominator) {
    QTemporaryDir dir;
    const QString in = dir.filePath("in.jpg"), out = dir.filePath("out.ppm");
    QFile file(in);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(jpeg);
    file.close();
    QProcess process;
    process.start(
        "djpeg", {"-scale", QString("1/%1").arg(denominator), "-rgb", "-pnm", "-outfile", out, in});
    if (!process.waitForFinished(60'000) || process.exitCode() != 0) return {};
    return QImage(out).convertToFormat(QImage::Format_RGB32);
}

// The JPEG with its frame header claiming width x height: the rest of the file is as it was, so
// a decoder that believed the claim would decode a picture of that size from these few bytes.
inline QByteArray withClaimedSize(QByteArray jpeg, int width, int height) {
    for (qsizetype at = 2; at + 9 < jpeg.size();) {
        const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            jpeg[at + 5] = static_cast<char>(height >> 8);
            jpeg[at + 6] = static_cast<char>(height & 255);
            jpeg[at + 7] = static_cast<char>(width >> 8);
            jpeg[at + 8] = static_cast<char>(width & 255);
            return jpeg;
        }
        at += 2 + (static_cast<unsigned char>(jpeg[at + 2]) << 8 |
                   static_cast<unsigned char>(jpeg[at + 3]));
    }
    return {};
}

// A baseline JPEG written by hand, every block flat: one DC level per component, no AC. Its
// parts can be set wrong on purpose.
struct HandJpeg {
    struct Component {
        int id, h, v, quantTable;
        int level;  // the DC coefficient of every block (the sample is 128 + level / 8)
    };
    int precision = 8;
    int width = 16, height = 16;
    int frameHeight = -1;  // the height written in the frame header; -1: height
    uint8_t frameMarker = 0xC0;
    std::vector<Component> components = {{1, 1, 1, 0, 0}};
    bool jfif = true;
    int adobeTransform = -1;  // -1: no APP14
    int restartInterval = 0;
    bool huffmanTables = true;
    bool overSubscribed = false;  // a DC table with three codes of length 1
    bool dnl = false;             // a DNL marker after the scan

    QByteArray bytes() const {
        QByteArray out("\xFF\xD8", 2);
        auto segment = [&out](uint8_t marker, const QByteArray& body) {
            out.append(static_cast<char>(0xFF));
            out.append(static_cast<char>(marker));
            const int length = static_cast<int>(body.size()) + 2;
            out.append(static_cast<char>(length >> 8));
            out.append(static_cast<char>(length & 255));
            out.append(body);
        };
        auto bytesOf = [](std::initializer_list<int> values) {
            QByteArray b;
            for (int v : values) b.append(static_cast<char>(v));
            return b;
        };
        if (jfif) segment(0xE0, QByteArray("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14));
        if (adobeTransform >= 0) {
            segment(0xEE, QByteArray("Adobe\0\x64\0\0\0\0", 11) + bytesOf({adobeTransform}));
        }
        for (int t = 0; t < 2; ++t) segment(0xDB, bytesOf({t}) + QByteArray(64, '\x01'));
        QByteArray frame = bytesOf({precision, (frameHeight < 0 ? height : frameHeight) >> 8,
                                    (frameHeight < 0 ? height : frameHeight) & 255, width >> 8,
                                    width & 255, static_cast<int>(components.size())});
        for (const Component& c : components) {
            frame += bytesOf({c.id, c.h << 4 | c.v, c.quantTable});
        }
        segment(frameMarker, frame);
        // DC: category c is c in four bits; AC: end of block is "0".
        if (huffmanTables) {
            QByteArray dc = bytesOf({0x00, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0,
                                     0,    0, 0, 1, 2,  3, 4, 5, 6, 7, 8, 9, 10, 11});
            if (overSubscribed) {
                dc = bytesOf({0x00, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2});
            }
            segment(0xC4,
                    dc + bytesOf({0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00}));
        }
        if (restartInterval > 0) {
            segment(0xDD, bytesOf({restartInterval >> 8, restartInterval & 255}));
        }
        QByteArray scan = bytesOf({static_cast<int>(components.size())});
        for (const Component& c : components) scan += bytesOf({c.id, 0x00});
        segment(0xDA, scan + bytesOf({0, 63, 0}));
        out.append(entropyData());
        if (dnl) segment(0xDC, bytesOf({height >> 8, height & 255}));
        out.append("\xFF\xD9", 2);
        return out;
    }

  private:
    QByteArray entropyData() const {
        int hMax = 1, vMax = 1;
        for (const Component& c : components) {
            hMax = std::max(hMax, c.h);
            vMax = std::max(vMax, c.v);
        }
        const bool one = components.size() == 1;
        const int across = one ? (width + 7) / 8 : (width + 8 * hMax - 1) / (8 * hMax);
        const int down = one ? (height + 7) / 8 : (height + 8 * vMax - 1) / (8 * vMax);
        QByteArray out;
        uint32_t bits = 0;
        int count = 0;
        auto put = [&](uint32_t value, int n) {
            for (int i = n - 1; i >= 0; --i) {
                bits = bits << 1 | ((value >> i) & 1);
                if (++count == 8) {
                    out.append(static_cast<char>(bits));
                    if (bits == 0xFF) out.append('\0');
                    bits = 0;
                    count = 0;
                }
            }
        };
        auto flush = [&] {
            while (count != 0) put(1, 1);
        };
        std::vector<int> predictor(components.size(), 0);
        int mcu = 0, restarts = 0;
        for (int i = 0; i < across * down; ++i, ++mcu) {
            if (restartInterval > 0 && mcu == restartInterval) {
                flush();
                out.append(static_cast<char>(0xFF));
                out.append(static_cast<char>(0xD0 + (restarts++ & 7)));
                std::fill(predictor.begin(), predictor.end(), 0);
                mcu = 0;
            }
            for (size_t c = 0; c < components.size(); ++c) {
                const int blocks = one ? 1 : components[c].h * components[c].v;
                for (int b = 0; b < blocks; ++b) {
                    const int diff = components[c].level - predictor[c];
                    predictor[c] = components[c].level;
                    int category = 0;
                    while ((std::abs(diff) >> category) != 0) ++category;
                    put(static_cast<uint32_t>(category), 4);
                    if (category > 0) {
                        put(static_cast<uint32_t>(diff > 0 ? diff : diff + (1 << category) - 1),
                            category);
                    }
                    put(0, 1);  // end of block
                }
            }
        }
        flush();
        return out;
    }
};

}  // namespace ostrel::test
