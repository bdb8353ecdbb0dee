#include "toastview.h"

#include "look.h"
#include "shownvalues.h"
#include "wrappinglabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr int horizontalPadding = 14;
constexpr int verticalPadding = 10;
constexpr int flagSpacing = 12;
constexpr int lineSpacing = 2;

QLabel *line(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    return label;
}

QLabel *wrapping(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new WrappingLabel(QString(), parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setFullText(text);
    return label;
}

QFont captionMonospaced()
{
    QFont font = monospacedFont();
    const QFont caption = textFont(TextStyle::caption);
    if (caption.pointSizeF() > 0)
        font.setPointSizeF(caption.pointSizeF());
    else
        font.setPixelSize(caption.pixelSize());
    return font;
}

} // namespace

ToastView::ToastView(const GeoInfo &old, const GeoInfo &now, std::function<void()> onTap,
                     QWidget *parent)
    : QWidget(parent)
    , m_onTap(std::move(onTap))
{
    QFont flagFace = flagFont();
    flagFace.setPixelSize(30);
    QLabel *flag = line(now.flag(), flagFace, this);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(lineSpacing);
    // Country names run long ("South Georgia and the South Sandwich Islands"): they wrap, and
    // the card grows to hold them.
    texts->addWidget(
        wrapping(Shown::changeTitle(old, now), textFont(TextStyle::body, QFont::DemiBold), this));
    const QString pair = Shown::changedAddresses(old, now);
    QLabel *addresses = line(pair, captionMonospaced(), this);
    // One line whatever the addresses: two IPv6 addresses need more than the card has.
    const int room = cardWidth - 2 * horizontalPadding - flag->sizeHint().width() - flagSpacing;
    addresses->setText(addresses->fontMetrics().elidedText(pair, Qt::ElideMiddle, room));
    addresses->setAccessibleName(pair);
    setTint(addresses, Tint::secondary);
    texts->addWidget(addresses);
    if (const auto place = Shown::previousPlace(old, now)) {
        QLabel *was = wrapping(*place, textFont(TextStyle::caption), this);
        setTint(was, Tint::secondary);
        texts->addWidget(was);
    }

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding,
                               verticalPadding);
    layout->setSpacing(flagSpacing);
    layout->addWidget(flag, 0, Qt::AlignVCenter);
    layout->addLayout(texts, 1);
    setFixedSize(cardWidth, layout->heightForWidth(cardWidth));
    setCursor(Qt::PointingHandCursor);
}

void ToastView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The hairline lies inside the shape, as the shape's own border.
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(shape, cornerRadius, cornerRadius);
    painter.fillPath(path, palette().color(QPalette::Window));
    QColor border = separatorColor(palette());
    border.setAlphaF(border.alphaF() * 0.6f);
    painter.strokePath(path, QPen(border, 1));
}

void ToastView::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void ToastView::mouseReleaseEvent(QMouseEvent *event)
{
    // A click is a press and a release on the card.
    if (std::exchange(m_pressed, false) && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint()) && m_onTap)
        m_onTap();
}

} // namespace velmora
