#include "look.h"

#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QWidget>

#include <algorithm>

namespace velmora {

namespace {

// The application font with its size multiplied by factor, whether it was set in points or
// in pixels.
QFont scaled(QFont font, double factor)
{
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    else if (font.pixelSize() > 0)
        font.setPixelSize(qMax(1, qRound(font.pixelSize() * factor)));
    return font;
}

double factor(TextStyle style)
{
    switch (style) {
    case TextStyle::title3:
        return 1.25;
    case TextStyle::subheadline:
    case TextStyle::callout:
        return 0.92;
    case TextStyle::body:
        return 1.0;
    case TextStyle::caption:
        return 0.83;
    case TextStyle::caption2:
        return 0.75;
    case TextStyle::smallControl:
        return 0.85;
    }
    return 1.0;
}

// Keeps one widget's text in its tint: a child of the widget, so it goes with it.
class TintKeeper final : public QObject
{
public:
    TintKeeper(QWidget *widget, Tint tint)
        : QObject(widget)
        , m_widget(widget)
        , m_tint(tint)
    {
        widget->installEventFilter(this);
    }

    void setTint(Tint tint)
    {
        m_tint = tint;
        apply();
    }

    void apply()
    {
        const QWidget *parent = m_widget->parentWidget();
        // What the widget would inherit: its own text colour is the one this keeper set.
        const QPalette inherited = parent ? parent->palette() : QGuiApplication::palette();
        QPalette palette = m_widget->palette();
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            const QColor color = tintColor(m_tint, inherited, group);
            palette.setColor(group, QPalette::WindowText, color);
            palette.setColor(group, QPalette::Text, color);
        }
        // Setting it raises another PaletteChange; the comparison ends the round.
        if (palette != m_widget->palette() || !m_widget->testAttribute(Qt::WA_SetPalette))
            m_widget->setPalette(palette);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget &&
            (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange))
            apply();
        return false;
    }

private:
    QWidget *m_widget;
    Tint m_tint;
};

} // namespace

QFont textFont(TextStyle style, QFont::Weight weight)
{
    QFont font = scaled(QGuiApplication::font(), factor(style));
    font.setWeight(weight);
    return font;
}

QFont monospacedFont(TextStyle style)
{
    const QFont body = scaled(QGuiApplication::font(), factor(style));
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (body.pointSizeF() > 0)
        font.setPointSizeF(body.pointSizeF());
    else if (body.pixelSize() > 0)
        font.setPixelSize(body.pixelSize());
    return font;
}

QFont titleFont()
{
    QFont font;
    // The family list falls through to whatever emoji font fontconfig finds when this one is
    // not installed.
    font.setFamilies({QStringLiteral("Noto Color Emoji"), QStringLiteral("emoji")});
    font.setPixelSize(16);
    return font;
}

QFont flagFont(double points)
{
    // The emoji font as in the tray: a text font would draw the warning sign as an outline.
    QFont font = scaled(QGuiApplication::font(), points / 13.0);
    font.setFamilies(titleFont().families());
    return font;
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor tintColor(Tint tint, const QPalette &palette, QPalette::ColorGroup group)
{
    const bool dark = isDark(palette);
    switch (tint) {
    case Tint::secondary: {
        QColor color = palette.color(group, QPalette::WindowText);
        color.setAlphaF(0.6f);
        return color;
    }
    case Tint::orange:
        // The dark theme's system orange; in light themes a deeper one, since #FF9500 on a
        // light grey stays under 2:1 contrast: this one reads at 4.5:1 on the window.
        return dark ? QColor(0xFF, 0x9F, 0x0A) : QColor(0xA3, 0x52, 0x00);
    case Tint::blue: // the system blue of each appearance
        return dark ? QColor(0x0A, 0x84, 0xFF) : QColor(0x00, 0x7A, 0xFF);
    }
    return palette.color(group, QPalette::WindowText);
}

QColor separatorColor(const QPalette &palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(isDark(palette) ? 0.16f : 0.14f);
    return color;
}

QColor controlFrameColor(const QPalette &palette, QPalette::ColorGroup group)
{
    const QColor text = palette.color(group, QPalette::WindowText);
    const QColor window = palette.color(group, QPalette::Window);
    return QColor::fromRgbF((text.redF() + window.redF()) / 2,
                            (text.greenF() + window.greenF()) / 2,
                            (text.blueF() + window.blueF()) / 2);
}

void setTint(QWidget *widget, Tint tint)
{
    for (QObject *child : widget->children()) {
        if (auto *keeper = dynamic_cast<TintKeeper *>(child)) {
            keeper->setTint(tint);
            return;
        }
    }
    (new TintKeeper(widget, tint))->apply();
}

} // namespace velmora
