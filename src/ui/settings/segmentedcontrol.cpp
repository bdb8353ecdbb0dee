#include "segmentedcontrol.h"

#include "colorcode.h"
#include "look.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace velmora {

namespace {

constexpr double cornerRadius = 4;
constexpr int horizontalPadding = 12;
constexpr int verticalPadding = 4;

// One segment: only its text (and focus); the control draws the frame and the fills, so
// that the segments read as one shape.
class Segment final : public QAbstractButton
{
public:
    explicit Segment(const QString &text)
    {
        setText(text);
        setCheckable(true);
        setFocusPolicy(Qt::StrongFocus);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics = fontMetrics();
        return {metrics.horizontalAdvance(text()) + 2 * horizontalPadding,
                metrics.height() + 2 * verticalPadding};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
        QPalette colors = palette();
        colors.setCurrentColorGroup(group);
        painter.setPen(isChecked() ? SegmentedControl::chosenTextColor(colors)
                                   : colors.color(QPalette::ButtonText));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = rect().adjusted(2, 2, -2, -2);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
};

} // namespace

SegmentedControl::SegmentedControl(QWidget *parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    m_group->setExclusive(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(1); // room for the hairline between two segments
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_group, &QButtonGroup::idToggled, this, [this] { update(); });
}

QAbstractButton *SegmentedControl::addSegment(const QString &text, int id)
{
    auto *segment = new Segment(text);
    m_group->addButton(segment, id);
    layout()->addWidget(segment);
    return segment;
}

QColor SegmentedControl::chosenTextColor(const QPalette &palette)
{
    // The selection's own text colour where it reads well; common palettes pair white with
    // a mid blue, which stays under 4.5:1, and then black reads better.
    const QColor fill = palette.color(QPalette::Highlight);
    const QColor own = palette.color(QPalette::HighlightedText);
    if (contrastRatio(own, fill) >= 4.5)
        return own;
    return contrastRatio(Qt::black, fill) >= contrastRatio(Qt::white, fill) ? QColor(Qt::black)
                                                                            : QColor(Qt::white);
}

void SegmentedControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    QPalette colors = palette();
    colors.setCurrentColorGroup(group);

    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(shape, colors.color(QPalette::Button));
    if (const QAbstractButton *chosen = m_group->checkedButton()) {
        // The chosen segment's fill, reaching into the frame's corners at either end.
        QRectF area = QRectF(chosen->geometry()).adjusted(-0.5, 0, 0.5, 0);
        area.setTop(0);
        area.setBottom(height());
        painter.save();
        painter.setClipPath(shape);
        painter.fillRect(area, colors.color(QPalette::Highlight));
        painter.restore();
    }
    const QColor frame = controlFrameColor(colors, group);
    painter.setPen(QPen(frame, 1));
    painter.drawPath(shape);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QList<QAbstractButton *> segments = m_group->buttons();
    for (qsizetype i = 1; i < segments.size(); ++i) {
        const int x = segments[i]->geometry().left() - 1;
        painter.drawLine(x, 1, x, height() - 2);
    }
}

} // namespace velmora
