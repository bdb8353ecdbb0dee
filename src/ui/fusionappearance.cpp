#include "fusionappearance.h"

#include "look.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>
#include <memory>

namespace velmora {

namespace {

const QString fusion = QStringLiteral("fusion");

// Fusion with the frames of check boxes and radio buttons in controlFrameColor(). Fusion's
// own frame is a shade darker than the window: on a dark window an unchecked box all but
// disappears, and on a light one it stays under 2:1.
class FramedFusionStyle final : public QProxyStyle
{
public:
    FramedFusionStyle()
        : QProxyStyle(QStyleFactory::create(fusion))
    {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        // Fusion takes the frame from the window colour (darker by 140 %, then lighter by
        // 110 % for a check box; darker by 150 % for a radio button): hand it the window
        // colour from which that comes out as the frame wanted, and let it draw as usual.
        const double factor = element == PE_IndicatorCheckBox      ? 1.4 / 1.1
                              : element == PE_IndicatorRadioButton ? 1.5
                                                                   : 0;
        if (factor == 0) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const QColor frame = controlFrameColor(
            option->palette, option->state & State_Enabled ? QPalette::Active : QPalette::Disabled);
        float hue = 0, saturation = 0, value = 0;
        frame.getHsvF(&hue, &saturation, &value);
        // A button's option as it came (Fusion reads its check state), any other sliced.
        QStyleOptionButton adjusted;
        if (const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option))
            adjusted = *button;
        else
            static_cast<QStyleOption &>(adjusted) = *option;
        adjusted.palette.setColor(
            QPalette::Window,
            QColor::fromHsvF(hue, saturation, std::min(1.0f, float(value * factor))));
        QProxyStyle::drawPrimitive(element, &adjusted, painter, widget);
    }
};

bool usesFramedFusion()
{
    return dynamic_cast<const FramedFusionStyle *>(QApplication::style()) != nullptr;
}

void useStyle(const QString &name)
{
    if (name == fusion) {
        if (!usesFramedFusion())
            QApplication::setStyle(new FramedFusionStyle);
    } else if (usesFramedFusion() || QApplication::style()->name() != name) {
        QApplication::setStyle(name);
    }
}

} // namespace

FusionAppearance::FusionAppearance()
    : m_systemStyle(QApplication::style()->name())
    , m_systemPalette(QApplication::palette())
{}

void FusionAppearance::apply(Preferences::Theme theme)
{
    switch (theme) {
    case Preferences::Theme::system:
        useStyle(m_systemStyle);
        QApplication::setPalette(m_systemPalette);
        break;
    case Preferences::Theme::light:
        useStyle(fusion);
        QApplication::setPalette(lightPalette());
        break;
    case Preferences::Theme::dark:
        useStyle(fusion);
        QApplication::setPalette(darkPalette());
        break;
    }
}

QPalette FusionAppearance::lightPalette()
{
    // Fusion's own palette is its light one; ask a private instance so that the result
    // does not depend on the style the application has at the time.
    const std::unique_ptr<QStyle> style(QStyleFactory::create(fusion));
    return style->standardPalette();
}

QPalette FusionAppearance::darkPalette()
{
    const QColor window(0x35, 0x35, 0x35);
    const QColor base(0x2A, 0x2A, 0x2A);
    const QColor text(0xF0, 0xF0, 0xF0);
    const QColor disabledText(0x80, 0x80, 0x80);
    const QColor highlight(0x2A, 0x82, 0xDA);

    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, QColor(0x42, 0x42, 0x42));
    palette.setColor(QPalette::ToolTipBase, QColor(0x20, 0x20, 0x20));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, QColor(0xA0, 0xA0, 0xA0));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, QColor(0xFF, 0x55, 0x55));
    palette.setColor(QPalette::Light, QColor(0x55, 0x55, 0x55));
    palette.setColor(QPalette::Midlight, QColor(0x45, 0x45, 0x45));
    palette.setColor(QPalette::Mid, QColor(0x28, 0x28, 0x28));
    palette.setColor(QPalette::Dark, QColor(0x1E, 0x1E, 0x1E));
    palette.setColor(QPalette::Shadow, QColor(0x14, 0x14, 0x14));
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x4E, 0xA1, 0xFF));
    palette.setColor(QPalette::LinkVisited, QColor(0xB0, 0x8C, 0xFF));

    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::PlaceholderText, QColor(0x60, 0x60, 0x60));
    palette.setColor(QPalette::Disabled, QPalette::Base, window);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x50, 0x50, 0x50));
    palette.setColor(QPalette::Disabled, QPalette::HighlightedText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Light, QColor(0x35, 0x35, 0x35));
    return palette;
}

} // namespace velmora
