#pragma once

#include <QProxyStyle>

// The application's style with a focus ring that can be seen: plain push buttons that have
// keyboard focus get a 2-point ring in the theme's focus colour (3:1 against the window and the
// button) inside their edge, where the desktop style draws at most a faint line.
class FocusRingStyle : public QProxyStyle {
    Q_OBJECT

public:
    // One instance for every widget that asks; it follows whatever the application style is.
    static FocusRingStyle* instance();

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;

    static constexpr double ringWidth = 2.0;

private:
    FocusRingStyle() = default;
};
