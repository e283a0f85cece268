// Draws the jog chevrons, the two window icons and the wiring schematic into resources/.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <array>
#include <cstdio>

QImage drawSchematic();  // Schematic.cpp

namespace {

// One chevron pointing up on black, 48 x 24; the other three are turns of it.
QImage chevronUp() {
    QImage image(48, 24, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    arrow.moveTo(24, 3);
    arrow.lineTo(43, 20);
    arrow.lineTo(35, 20);
    arrow.lineTo(24, 10);
    arrow.lineTo(13, 20);
    arrow.lineTo(5, 20);
    arrow.closeSubpath();
    // Grey shading: light at the point, dark at the feet, as if lit from above.
    QLinearGradient shade(0, 3, 0, 20);
    shade.setColorAt(0.0, QColor(235, 235, 235));
    shade.setColorAt(0.55, QColor(165, 165, 165));
    shade.setColorAt(1.0, QColor(90, 90, 90));
    p.fillPath(arrow, shade);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.drawPath(arrow);
    return image;
}

QImage turned(const QImage& image, int degrees) {
    return image.transformed(QTransform().rotate(degrees));
}

// The main window's icon, 32 x 32: a laser head on its rail burning a line into a plate.
// Drawn on a 32-unit grid and scaled to `size` pixels; icons/ostrel.svg is the same drawing.
QImage windowIcon(int size = 32) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(128, 128, 0), 1.5));
    p.setBrush(QColor(64, 64, 64));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);
    // Rail and head.
    p.fillRect(QRectF(4, 6, 24, 3), QColor(170, 170, 170));
    p.fillRect(QRectF(12, 4, 9, 9), QColor(210, 210, 210));
    p.fillRect(QRectF(14.5, 13, 4, 3), QColor(120, 120, 120));
    // Beam and plate.
    p.setPen(QPen(QColor(255, 40, 20), 1.5));
    p.drawLine(QPointF(16.5, 16), QPointF(16.5, 22));
    p.fillRect(QRectF(4, 22, 24, 6), QColor(214, 178, 120));
    p.setPen(QPen(QColor(70, 40, 20), 1.4));
    QPainterPath burn;
    burn.moveTo(6, 26);
    burn.cubicTo(9, 23, 12, 28, 16.5, 24.5);
    p.drawPath(burn);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 200, 60));
    p.drawEllipse(QPointF(16.5, 24.5), 1.6, 1.6);
    return image;
}

// The sixteen colours of the help windows' icon.
const QList<QRgb>& sixteenColours() {
    static const QList<QRgb> colours{
        qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    return colours;
}

// The help windows' icon, 32 x 32 in sixteen colours: a page with a question mark.
QImage helpIcon() {
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(qRgb(255, 0, 255));  // becomes transparent below
    QPainter p(&image);
    QPolygon page;
    page << QPoint(6, 2) << QPoint(21, 2) << QPoint(27, 8) << QPoint(27, 30) << QPoint(6, 30);
    p.setPen(QColor(0, 0, 0));
    p.setBrush(QColor(255, 255, 255));
    p.drawPolygon(page);
    p.setBrush(QColor(192, 192, 192));
    p.drawPolygon(QPolygon({QPoint(21, 2), QPoint(21, 8), QPoint(27, 8)}));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(22);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0, 0, 128));
    p.drawText(QRect(6, 6, 21, 24), Qt::AlignCenter, QStringLiteral("?"));
    p.end();
    QImage indexed =
        image.convertToFormat(QImage::Format_Indexed8, sixteenColours(), Qt::ThresholdDither);
    indexed.setColor(13, qRgba(255, 0, 255, 0));  // magenta is the see-through colour
    return indexed;
}

bool save(const QImage& image, const QString& path, const char* format, int quality = -1) {
    if (image.save(path, format, quality)) {
        std::printf("wrote %s (%d x %d)\n", qPrintable(path), image.width(), image.height());
        return true;
    }
    std::fprintf(stderr, "draw_art: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: draw_art RESOURCES_FOLDER [PREVIEW_FOLDER]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("icons"));
    const QImage up = chevronUp();
    bool ok = save(up, out.filePath(QStringLiteral("icons/jog-up.png")), "PNG");
    ok &= save(turned(up, 180), out.filePath(QStringLiteral("icons/jog-down.png")), "PNG");
    ok &= save(turned(up, 270), out.filePath(QStringLiteral("icons/jog-left.png")), "PNG");
    ok &= save(turned(up, 90), out.filePath(QStringLiteral("icons/jog-right.png")), "PNG");
    ok &= save(windowIcon(), out.filePath(QStringLiteral("icons/ostrel.png")), "PNG");
    // The desktop's icon theme sizes.
    for (int size : {32, 64, 128, 256}) {
        ok &= save(windowIcon(size), out.filePath(QStringLiteral("icons/ostrel-%1.png").arg(size)),
                   "PNG");
    }
    ok &= save(helpIcon(), out.filePath(QStringLiteral("icons/help.png")), "PNG");
    const QImage schematic = drawSchematic();
    ok &= save(schematic, out.filePath(QStringLiteral("graver.jpg")), "JPG", 90);
    // A lossless copy to look at while drawing (image viewers that cannot show JPEG).
    if (argc == 3) {
        ok &= save(
            schematic,
            QDir(QString::fromLocal8Bit(argv[2])).filePath(QStringLiteral("schematic-preview.png")),
            "PNG");
    }
    return ok ? 0 : 1;
}
