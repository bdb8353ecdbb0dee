#include "symbols.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmapCache>

#include <array>
#include <cmath>
#include <utility>

namespace velmora {

namespace {

struct Symbol
{
    const char16_t *name;
    // Freedesktop names, best first. Only symbolic icons: they are one-colour shapes made
    // to be recoloured, where a full-colour theme icon would turn into a blot.
    std::array<const char16_t *, 2> themeNames;
};

constexpr std::array<Symbol, 9> symbols{{
    {u"arrow.clockwise", {u"view-refresh-symbolic", nullptr}},
    {u"network", {u"network-wired-symbolic", u"network-workgroup-symbolic"}},
    {u"exclamationmark.triangle.fill", {u"dialog-warning-symbolic", nullptr}},
    {u"doc.on.doc", {u"edit-copy-symbolic", nullptr}},
    {u"checkmark", {u"object-select-symbolic", nullptr}},
    {u"speedometer", {u"speedometer-symbolic", u"power-profile-performance-symbolic"}},
    {u"gearshape", {u"emblem-system-symbolic", u"preferences-system-symbolic"}},
    {u"wifi.slash", {u"network-wireless-offline-symbolic", nullptr}},
    {u"chart.xyaxis.line", {u"utilities-system-monitor-symbolic", nullptr}},
}};

const Symbol *find(const QString &name)
{
    for (const Symbol &symbol : symbols) {
        if (name == QStringView(symbol.name))
            return &symbol;
    }
    return nullptr;
}

// The shape to tint: the theme's icon when the theme really has that name (QIcon::fromTheme
// also answers with a shorter name's icon, "network-wired" for "network-wired-symbolic"),
// else the bundled SVG.
QIcon shape(const QString &name)
{
    for (const QString &themeName : symbolThemeNames(name)) {
        if (!QIcon::hasThemeIcon(themeName))
            continue;
        QIcon icon = QIcon::fromTheme(themeName);
        if (icon.name() == themeName)
            return icon;
    }
    return QIcon(QStringLiteral(":/velmora/symbols/%1.svg").arg(name));
}

QColor colorFor(QIcon::Mode mode)
{
    const QPalette palette = QGuiApplication::palette();
    switch (mode) {
    case QIcon::Disabled:
        return palette.color(QPalette::Disabled, QPalette::ButtonText);
    case QIcon::Selected:
        return palette.color(QPalette::Active, QPalette::HighlightedText);
    case QIcon::Normal:
    case QIcon::Active:
        break;
    }
    return palette.color(QPalette::Active, QPalette::ButtonText);
}

// Draws the symbol in the palette of the moment, so the icon follows theme switches.
class SymbolIconEngine final : public QIconEngine
{
public:
    explicit SymbolIconEngine(QString name)
        : m_name(std::move(name))
    {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const int side = std::min(rect.width(), rect.height());
        const QPixmap pixmap = symbolPixmap(m_name, side, colorFor(mode), ratio);
        painter->drawPixmap(QRect(rect.x() + (rect.width() - side) / 2,
                                  rect.y() + (rect.height() - side) / 2, side, side),
                            pixmap);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // size is in device pixels here; the pixmap comes back at ratio 1 and QIcon sets its own.
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal) override
    {
        QPixmap result(size);
        result.fill(Qt::transparent);
        const int side = std::min(size.width(), size.height());
        if (side <= 0)
            return result;
        QPainter painter(&result);
        painter.drawPixmap((size.width() - side) / 2, (size.height() - side) / 2,
                           symbolPixmap(m_name, side, colorFor(mode)));
        return result;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine *clone() const override { return new SymbolIconEngine(m_name); }
    QString key() const override { return QStringLiteral("velmora.symbol"); }
    QString iconName() override { return m_name; }
    bool isNull() override { return false; }

private:
    QString m_name;
};

} // namespace

QStringList symbolThemeNames(const QString &name)
{
    QStringList names;
    if (const Symbol *symbol = find(name)) {
        for (const char16_t *themeName : symbol->themeNames) {
            if (themeName)
                names.append(QString::fromUtf16(themeName));
        }
    }
    return names;
}

bool isKnownSymbol(const QString &name)
{
    return find(name) != nullptr;
}

QIcon symbolIcon(const QString &name)
{
    if (!isKnownSymbol(name))
        return {};
    return QIcon(new SymbolIconEngine(name));
}

QPixmap symbolPixmap(const QString &name, int side, const QColor &color, qreal devicePixelRatio)
{
    if (!isKnownSymbol(name) || side <= 0)
        return {};
    const int pixels = std::max(1, int(std::lround(side * devicePixelRatio)));
    const QString cacheKey = QStringLiteral("velmora.symbol/%1/%2/%3/%4/%5")
                                 .arg(name, QIcon::themeName())
                                 .arg(pixels)
                                 .arg(devicePixelRatio)
                                 .arg(color.rgba(), 8, 16);
    QPixmap result;
    if (QPixmapCache::find(cacheKey, &result))
        return result;
    result = QPixmap(pixels, pixels);
    result.fill(Qt::transparent);
    // A theme with only bitmaps may hand back a smaller one; it is scaled up to fit.
    const QPixmap source = shape(name).pixmap(QSize(pixels, pixels), 1.0);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!source.isNull()) {
        const QSize fitted = source.size().scaled(pixels, pixels, Qt::KeepAspectRatio);
        painter.drawPixmap(
            QRect(QPoint((pixels - fitted.width()) / 2, (pixels - fitted.height()) / 2), fitted),
            source);
    }
    // Keep the shape's coverage, replace its colours.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), color);
    painter.end();
    result.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(cacheKey, result);
    return result;
}

SymbolImage::SymbolImage(const QString &symbol, QWidget *parent)
    : QWidget(parent)
    , m_symbol(symbol)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolImage::setSymbol(const QString &symbol)
{
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    update();
}

void SymbolImage::setMinimumSide(int side)
{
    m_minimumSide = std::max(1, side);
    updateGeometry();
    update();
}

int SymbolImage::symbolSide() const
{
    // About the size of the font, as a symbol set beside text is.
    return std::max(m_minimumSide, QFontInfo(font()).pixelSize());
}

QSize SymbolImage::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {symbolSide(), std::max(symbolSide(), metrics.height())};
}

void SymbolImage::paintEvent(QPaintEvent *)
{
    const int side = symbolSide();
    const QFontMetricsF metrics(font());
    // Centred where the middle of a capital letter of the same font would be, as if the
    // widget's top were the top of a line of text.
    const double middle = metrics.ascent() - metrics.capHeight() / 2.0;
    const int top =
        std::clamp(int(std::lround(middle - side / 2.0)), 0, std::max(0, height() - side));
    const QColor color =
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole());
    QPainter painter(this);
    painter.drawPixmap(QRect((width() - side) / 2, top, side, side),
                       symbolPixmap(m_symbol, side, color, devicePixelRatioF()));
}

void SymbolImage::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    QWidget::changeEvent(event);
}

} // namespace velmora
