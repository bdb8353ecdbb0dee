#include "row.h"

#include "look.h"

#include <QLayout>

#include <cmath>

namespace velmora {

namespace {

constexpr int minimumGap = 12;
constexpr int maximumValueLines = 3;

// Pixels from a label's top to its first baseline, with the text at the top of the label,
// as in a top-aligned label or a centred one at its preferred height.
int firstBaseline(const QLabel *label)
{
    return label->contentsMargins().top() + label->margin() + QFontMetrics(label->font()).ascent();
}

// Lays out a row's label and value; see Row.
class RowLayout final : public QLayout
{
public:
    explicit RowLayout(Row *row)
        : QLayout(row)
        , m_row(row)
    {
        setContentsMargins(0, 0, 0, 0);
    }
    ~RowLayout() override
    {
        while (QLayoutItem *item = takeAt(0))
            delete item;
    }

    void addItem(QLayoutItem *item) override { m_items.append(item); }
    int count() const override { return int(m_items.size()); }
    QLayoutItem *itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem *takeAt(int index) override
    {
        return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
    }
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return place(QRect(0, 0, width, 0)).height; }

    QSize sizeHint() const override
    {
        if (m_items.size() < 2)
            return {};
        const int width =
            m_items[0]->sizeHint().width() + minimumGap + m_items[1]->sizeHint().width();
        return {width, heightForWidth(width)};
    }
    QSize minimumSize() const override
    {
        if (m_items.size() < 2)
            return {};
        const int width =
            m_items[0]->minimumSize().width() + minimumGap + m_items[1]->minimumSize().width();
        return {width, heightForWidth(width)};
    }

    void setGeometry(const QRect &rect) override
    {
        QLayout::setGeometry(rect);
        const Placement placement = place(rect);
        if (m_items.size() < 2)
            return;
        m_items[0]->setGeometry(placement.label);
        m_items[1]->setGeometry(placement.value);
    }

private:
    struct Placement
    {
        QRect label;
        QRect value;
        int height = 0;
    };

    Placement place(const QRect &rect) const
    {
        Placement placement;
        if (m_items.size() < 2)
            return placement;
        QLayoutItem *label = m_items[0];
        QLayoutItem *value = m_items[1];
        const QSize labelSize = label->sizeHint();
        const int available = std::max(0, rect.width() - labelSize.width() - minimumGap);
        // A text value takes all the room and aligns its text to the right; any other value
        // keeps its own width and stands at the right edge.
        const bool text = qobject_cast<const QLabel *>(value->widget()) != nullptr;
        const int valueWidth =
            text ? available
                 : std::clamp(value->sizeHint().width(),
                              std::min(value->minimumSize().width(), available), available);
        const int valueHeight = value->hasHeightForWidth() ? value->heightForWidth(valueWidth)
                                                           : value->sizeHint().height();
        const int labelBaseline = firstBaseline(static_cast<QLabel *>(label->widget()));
        const int valueBaseline = m_row->valueBaseline();
        const int labelTop = std::max(0, valueBaseline - labelBaseline);
        const int valueTop = std::max(0, labelBaseline - valueBaseline);
        placement.label =
            QRect(rect.x(), rect.y() + labelTop, labelSize.width(), labelSize.height());
        placement.value = QRect(rect.x() + rect.width() - valueWidth, rect.y() + valueTop,
                                valueWidth, valueHeight);
        placement.height = std::max(labelTop + labelSize.height(), valueTop + valueHeight);
        return placement;
    }

    Row *m_row;
    QList<QLayoutItem *> m_items;
};

} // namespace

Row::Row(const QString &label, QWidget *value, QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(label))
    , m_value(value)
{
    setFont(textFont(TextStyle::callout));
    setTint(m_label, Tint::secondary);
    m_label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_label->setTextFormat(Qt::PlainText);

    if (auto *text = qobject_cast<QLabel *>(value)) {
        text->setAlignment(Qt::AlignRight | Qt::AlignTop);
        text->setTextFormat(Qt::PlainText);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (auto *wrapping = qobject_cast<WrappingLabel *>(value))
            wrapping->setMaximumLines(maximumValueLines);
    }

    auto *layout = new RowLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_value);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void Row::setBaselineLabel(QLabel *label)
{
    m_baselineLabel = label;
    updateGeometry();
}

int Row::valueBaseline() const
{
    if (const auto *text = qobject_cast<const QLabel *>(m_value))
        return firstBaseline(text);
    const QLabel *inner = m_baselineLabel;
    if (!inner)
        inner = m_value->findChild<QLabel *>();
    if (!inner)
        return QFontMetrics(m_value->font()).ascent();
    // A horizontal stack centring its parts vertically at its preferred height.
    QMargins margins = m_value->contentsMargins();
    if (const QLayout *layout = m_value->layout())
        margins += layout->contentsMargins();
    const int inside = m_value->sizeHint().height() - margins.top() - margins.bottom();
    return margins.top() + (inside - inner->sizeHint().height()) / 2 + firstBaseline(inner);
}

} // namespace velmora
