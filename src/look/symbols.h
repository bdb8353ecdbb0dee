#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace velmora {

// The symbol images of the popover and the desktop widget, under names of their own
// ("arrow.clockwise", "network", "exclamationmark.triangle.fill", "doc.on.doc", "checkmark",
// "speedometer", "gearshape", and "wifi.slash", the crossed-out network of a stale record).
// Each is taken from the desktop's icon theme under its freedesktop symbolic name when the
// theme has it, else from a bundled SVG, and is always drawn as a one-colour shape in the
// colour of the text around it, so it reads in light and dark palettes alike.

// The freedesktop icon names tried for a symbol, best first; empty for an unknown name.
QStringList symbolThemeNames(const QString &name);
// Whether name is one of the symbols above.
bool isKnownSymbol(const QString &name);

// For buttons: drawn in the application palette's button text colour of each mode, so a
// disabled button shows a disabled symbol. Null for an unknown name.
QIcon symbolIcon(const QString &name);

// The symbol as a side × side square (logical pixels) in color; null for an unknown name.
QPixmap symbolPixmap(const QString &name, int side, const QColor &color,
                     qreal devicePixelRatio = 1.0);

// A symbol image beside text: as tall as a line of its font, the symbol about as large as
// the font (never under minimumSide()) and centred on the middle of the capital letters, in
// its palette's text colour.
class SymbolImage : public QWidget
{
    Q_OBJECT

public:
    explicit SymbolImage(const QString &symbol = {}, QWidget *parent = nullptr);

    QString symbol() const { return m_symbol; }
    void setSymbol(const QString &symbol);
    int minimumSide() const { return m_minimumSide; }
    void setMinimumSide(int side);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    int symbolSide() const;

    QString m_symbol;
    int m_minimumSide = 1;
};

} // namespace velmora
