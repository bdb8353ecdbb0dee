#include "panelcolors.h"

#include "colorcode.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <map>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

struct DesktopRow
{
    QLatin1StringView desktop; // as XDG_CURRENT_DESKTOP names it
    PanelRule rule;
};

// StatusNotifierItem hosts never tell the panel's colour, so each desktop's is decided from
// what that desktop is known to draw and what it publishes where a program can read it.
constexpr DesktopRow desktopRows[] = {
    // GNOME Shell's top bar is near-black in the light and the dark scheme alike (and in
    // "high contrast"); its colour-scheme setting recolours windows, not the bar.
    {"GNOME"_L1, PanelRule::Dark},
    // GNOME Classic ("GNOME-Classic:GNOME") restyles that bar light, like its windows.
    {"GNOME-Classic"_L1, PanelRule::Light},
    // GNOME Flashback's gnome-panel is drawn in the GTK theme, which only dconf holds.
    {"GNOME-Flashback"_L1, PanelRule::Unknown},
    // Unity's top panel is dark in every theme it ships.
    {"Unity"_L1, PanelRule::Dark},
    // Budgie ("Budgie:GNOME"): its panel uses its own built-in theme, dark by default (the
    // dark-theme key defaults on), whatever the GTK theme.
    {"Budgie"_L1, PanelRule::Dark},
    // Cinnamon: the default desktop themes (upstream's and Linux Mint's) draw a dark panel.
    {"X-Cinnamon"_L1, PanelRule::Dark},
    {"Cinnamon"_L1, PanelRule::Dark},
    // Plasma: the panel takes the Plasma theme's colours; Breeze (the "default" theme) has
    // none of its own and follows the colour scheme in kdeglobals. Both are plain files.
    {"KDE"_L1, PanelRule::PlasmaTheme},
    // Xfce: a panel draws in the GTK theme unless its "dark mode" asks for the theme's dark
    // variant; xfconf holds both and tells changes over D-Bus.
    {"XFCE"_L1, PanelRule::XfcePanel},
    // MATE's panel follows the GTK theme, which lives in dconf only: the portal and the
    // desktop palette (which follow the same theme) decide.
    {"MATE"_L1, PanelRule::Unknown},
    // LXQt's panel follows its own theme's style sheet; LXQt hands the matching palette to
    // Qt programs, which the desktop palette carries.
    {"LXQt"_L1, PanelRule::Unknown},
};

// The value of key in [group] of an INI-style file such as kdeglobals; empty when absent.
QString iniValue(const QString &path, const QString &group, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream stream(&file);
    bool inGroup = false;
    for (QString line; stream.readLineInto(&line);) {
        line = line.trimmed();
        if (line.startsWith(u'['))
            inGroup = line == u'[' + group + u']';
        else if (inGroup && line.section(u'=', 0, 0).trimmed() == key)
            return line.section(u'=', 1).trimmed();
    }
    return {};
}

// KDE writes colours as "r,g,b".
QColor kdeColor(const QString &text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() < 3)
        return {};
    return QColor(parts[0].toInt(), parts[1].toInt(), parts[2].toInt());
}

} // namespace

PanelRule panelRuleFor(const QString &currentDesktop)
{
    for (const QString &name : currentDesktop.split(u':', Qt::SkipEmptyParts)) {
        const auto row = std::ranges::find_if(desktopRows, [&name](const DesktopRow &candidate) {
            return name.compare(candidate.desktop, Qt::CaseInsensitive) == 0;
        });
        if (row != std::end(desktopRows))
            return row->rule;
    }
    return PanelRule::Unknown;
}

PanelShade shadeOf(const QColor &background)
{
    return contrastRatio(Qt::white, background) > contrastRatio(Qt::black, background)
               ? PanelShade::Dark
               : PanelShade::Light;
}

QColor textColorFor(PanelShade shade)
{
    return shade == PanelShade::Dark ? QColor(Qt::white) : QColor(Qt::black);
}

PanelShade panelShade(PanelShade desktop, PanelShade portal, const QColor &paletteWindow)
{
    if (desktop != PanelShade::Unknown)
        return desktop;
    if (portal != PanelShade::Unknown)
        return portal;
    return paletteWindow.isValid() ? shadeOf(paletteWindow) : PanelShade::Unknown;
}

bool isDarkGtkTheme(const QString &name)
{
    return name.endsWith("-dark"_L1, Qt::CaseInsensitive) ||
           name.endsWith(":dark"_L1, Qt::CaseInsensitive);
}

QColor plasmaPanelColor(const QString &configDir, const QStringList &dataDirs)
{
    const QDir config(configDir);
    QString theme = iniValue(config.filePath(u"plasmarc"_s), u"Theme"_s, u"name"_s);
    if (theme.isEmpty())
        theme = u"default"_s;
    for (const QString &dataDir : dataDirs) {
        const QString colors =
            QDir(dataDir).filePath(u"plasma/desktoptheme/%1/colors"_s.arg(theme));
        if (QFile::exists(colors)) {
            const QColor color =
                kdeColor(iniValue(colors, u"Colors:Window"_s, u"BackgroundNormal"_s));
            if (color.isValid())
                return color;
            break;
        }
    }
    const QColor scheme = kdeColor(
        iniValue(config.filePath(u"kdeglobals"_s), u"Colors:Window"_s, u"BackgroundNormal"_s));
    // Breeze Light's window colour is what Plasma draws when nothing is configured.
    return scheme.isValid() ? scheme : QColor(239, 240, 241);
}

QColor dominantColor(const QImage &image, const QRect &except)
{
    struct Bin
    {
        int count = 0;
        qint64 red = 0, green = 0, blue = 0;
    };
    std::map<QRgb, Bin> bins;
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            if (except.contains(x, y))
                continue;
            Bin &bin = bins[line[x] & 0xf0f0f0];
            ++bin.count;
            bin.red += qRed(line[x]);
            bin.green += qGreen(line[x]);
            bin.blue += qBlue(line[x]);
        }
    }
    if (bins.empty())
        return {};
    const Bin &top = std::ranges::max_element(bins, {}, [](const auto &entry) {
                         return entry.second.count;
                     })->second;
    return QColor(int(top.red / top.count), int(top.green / top.count), int(top.blue / top.count));
}

} // namespace velmora
