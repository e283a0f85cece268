// The window's classic surfaces: solid back colours inside bevels, drawn over Fusion.
#include "ui/ClassicStyle.h"

#include <qdrawutil.h>

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>

namespace ostrel::ui {

namespace {

// The bevel's greys are fixed, so that it reads the same on every back colour.
QPalette bevelPalette(const QPalette& from) {
    QPalette bevel = from;
    bevel.setColor(QPalette::Light, QColor(255, 255, 255));
    bevel.setColor(QPalette::Midlight, QColor(227, 227, 227));
    bevel.setColor(QPalette::Dark, QColor(128, 128, 128));
    bevel.setColor(QPalette::Shadow, QColor(0, 0, 0));
    return bevel;
}

}  // namespace

ClassicStyle::ClassicStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void ClassicStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    if (element == PE_PanelButtonCommand) {
        const bool sunken = option->state & (State_Sunken | State_On);
        const QBrush face = option->palette.brush(QPalette::Button);
        qDrawWinButton(painter, option->rect, bevelPalette(option->palette), sunken, &face);
        if (option->state & State_HasFocus) {
            // A dotted line inside the bevel, clear of the face's outer rows.
            painter->save();
            painter->setPen(QPen(option->palette.color(QPalette::ButtonText), 1, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option->rect.adjusted(4, 4, -5, -5));
            painter->restore();
        }
        return;
    }
    if (element == PE_FrameFocusRect || element == PE_FrameDefaultButton) {
        return;  // the button draws its own focus; there is no default button
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void ClassicStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                      QPainter* painter, const QWidget* widget) const {
    const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option);
    if (control != CC_ComboBox || !combo) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    const QPalette bevel = bevelPalette(combo->palette);
    painter->fillRect(combo->rect, combo->palette.brush(QPalette::Base));
    qDrawWinPanel(painter, combo->rect, bevel, true);
    const QRect arrow = subControlRect(CC_ComboBox, combo, SC_ComboBoxArrow, widget);
    const bool down =
        (combo->activeSubControls & SC_ComboBoxArrow) && (combo->state & State_Sunken);
    const QBrush face = combo->palette.brush(QPalette::Button);
    qDrawWinButton(painter, arrow, bevel, down, &face);
    QStyleOption mark = *combo;
    mark.rect = arrow.adjusted(4, 4, -4, -4).translated(down ? QPoint(1, 1) : QPoint());
    mark.palette.setColor(QPalette::ButtonText,
                          combo->state & State_Enabled ? QColor(0, 0, 0) : QColor(96, 96, 96));
    QProxyStyle::drawPrimitive(PE_IndicatorArrowDown, &mark, painter, widget);
}

void ClassicStyle::polish(QWidget* widget) {
    QProxyStyle::polish(widget);
    // NOTE: hovering must not repaint a surface in another colour.
    widget->setAttribute(Qt::WA_Hover, false);
}

QStyle* classicStyle() {
    static QPointer<ClassicStyle> style;
    if (!style) {
        style = new ClassicStyle;
        style->setParent(qApp);
    }
    return style;
}

}  // namespace ostrel::ui
