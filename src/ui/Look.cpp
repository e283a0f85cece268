// Fonts and colours of the window: free stand-ins for the Windows fonts, Form1 colours.
#include "ui/Look.h"

// Q_INIT_RESOURCE names a function of the global namespace.
static void initUiResources() {
    Q_INIT_RESOURCE(ui);
}

namespace ostrel::ui {

void loadPictures() {
    initUiResources();
}

QFont sansFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont heavyFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial Black")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Bold);
    return font;
}

QColor toQColor(form::Colour colour) {
    if (colour < 0) return {};  // system colours have the high bit set
    return QColor(colour & 255, (colour >> 8) & 255, (colour >> 16) & 255);
}

QString labelText(const std::string& caption) {
    QString out;
    const QString in = QString::fromStdString(caption);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == u'&' && i + 1 < in.size()) ++i;  // "&&" -> "&", "&x" -> "x"
        out += in[i];
    }
    return out;
}

}  // namespace ostrel::ui
