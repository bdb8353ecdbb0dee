#include "card.h"

#include "look.h"
#include "symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace velmora {

namespace {
constexpr int padding = 12;
constexpr int spacing = 8;
constexpr double cornerRadius = 10;
} // namespace

Card::Card(const QString &title, const QString &symbol, QWidget *content, QWidget *parent)
    : QFrame(parent)
    , m_content(content)
{
    setFrameShape(QFrame::NoFrame);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    auto *heading = new QWidget;
    heading->setObjectName(QStringLiteral("cardTitle"));
    heading->setFont(textFont(TextStyle::caption, QFont::DemiBold));
    setTint(heading, Tint::secondary);
    auto *headingLayout = new QHBoxLayout(heading);
    headingLayout->setContentsMargins(0, 0, 0, 0);
    headingLayout->setSpacing(4);
    headingLayout->addWidget(new SymbolImage(symbol), 0, Qt::AlignVCenter);
    auto *titleLabel = new QLabel(title);
    titleLabel->setTextFormat(Qt::PlainText);
    headingLayout->addWidget(titleLabel, 0, Qt::AlignVCenter);
    headingLayout->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(spacing);
    layout->addWidget(heading);
    layout->addWidget(content);
}

void Card::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The 1-pixel stroke lies inside the shape: its centre line is half a pixel in.
    const QRectF outline = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(outline, cornerRadius - 0.5, cornerRadius - 0.5);

    QColor fill = palette().color(QPalette::Base);
    fill.setAlphaF(fill.alphaF() * 0.6f);
    painter.fillPath(shape, fill);

    QColor stroke = separatorColor(palette());
    stroke.setAlphaF(stroke.alphaF() * 0.5f);
    painter.strokePath(shape, QPen(stroke, 1.0));
}

} // namespace velmora
