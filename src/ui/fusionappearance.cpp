#include "fusionappearance.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

#include <memory>

namespace velmora {

namespace {

const QString fusion = QStringLiteral("fusion");

void useStyle(const QString &name)
{
    if (QApplication::style()->name() != name)
        QApplication::setStyle(name);
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
