// The window's own drawing of buttons, lists and boxes: solid colours, bevels, no gradients.
#pragma once

#include <QProxyStyle>

namespace ostrel::ui {

// Fusion with the window's classic surfaces: a push button is its back colour, solid, inside a
// raised bevel that sinks while pressed, in every state (hovered, pressed, focused, disabled);
// an editable list is its back colour in a sunken frame with a solid arrow button; check and
// option boxes lie on their own back colour.
//
// NOTE: Fusion shades buttons with a gradient and lightens them under the pointer, which turns
// the toggles' red and the Manual button's green into other colours.
class ClassicStyle final : public QProxyStyle {
    Q_OBJECT
  public:
    ClassicStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;
    void polish(QWidget* widget) override;
};

// The one instance the window's controls share (owned by the application object).
QStyle* classicStyle();

}  // namespace ostrel::ui
