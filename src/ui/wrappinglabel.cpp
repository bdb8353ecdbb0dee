#include "wrappinglabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>

namespace velmora {

namespace {

QString withoutTrailingSpaces(QString text)
{
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

} // namespace

WrappingLabel::WrappingLabel(const QString &text, QWidget *parent)
    : QLabel(parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setFullText(text);
}

void WrappingLabel::setFullText(const QString &text)
{
    if (text == m_fullText)
        return;
    m_fullText = text;
    // Assistive technology reads the whole text, not the lines it is broken into.
    setAccessibleName(text);
    relayout();
    updateGeometry();
}

void WrappingLabel::setMaximumLines(int lines)
{
    m_maximumLines = std::max(0, lines);
    relayout();
    updateGeometry();
}

int WrappingLabel::horizontalExtra() const
{
    const QMargins margins = contentsMargins();
    return margins.left() + margins.right() + 2 * margin();
}

int WrappingLabel::verticalExtra() const
{
    const QMargins margins = contentsMargins();
    return margins.top() + margins.bottom() + 2 * margin();
}

QString WrappingLabel::shownText(int width) const
{
    if (m_fullText.isEmpty() || width <= 0)
        return m_fullText;
    const QFontMetricsF metrics(font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

    QStringList lines;
    const QStringList paragraphs = m_fullText.split(u'\n');
    for (qsizetype p = 0; p < paragraphs.size(); ++p) {
        const QString &paragraph = paragraphs[p];
        QTextLayout layout(paragraph, font());
        layout.setTextOption(option);
        layout.beginLayout();
        QList<int> starts;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            starts.append(line.textStart());
        }
        layout.endLayout();
        if (starts.isEmpty())
            starts.append(0); // an empty paragraph is an empty line
        for (qsizetype i = 0; i < starts.size(); ++i) {
            if (m_maximumLines > 0 && lines.size() == m_maximumLines - 1 &&
                (i + 1 < starts.size() || p + 1 < paragraphs.size())) {
                // The last line allowed, with more to come: the rest, cut to fit.
                QStringList rest{paragraph.mid(starts[i])};
                rest.append(paragraphs.mid(p + 1));
                lines.append(metrics.elidedText(rest.join(u' '), Qt::ElideRight, width));
                return lines.join(u'\n');
            }
            const qsizetype end = i + 1 < starts.size() ? starts[i + 1] : paragraph.size();
            lines.append(withoutTrailingSpaces(paragraph.mid(starts[i], end - starts[i])));
        }
    }
    return lines.join(u'\n');
}

int WrappingLabel::textHeight(const QString &shown) const
{
    // Measured the way QLabel measures its own text, so the height given is the one needed.
    if (textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard)) {
        QTextDocument document;
        document.setDocumentMargin(0);
        document.setDefaultFont(font());
        document.setPlainText(shown);
        return int(std::ceil(document.size().height()));
    }
    return fontMetrics()
        .boundingRect(0, 0, 2000, 2000, Qt::AlignLeft | Qt::AlignTop, shown)
        .height();
}

int WrappingLabel::naturalWidth() const
{
    const QFontMetricsF metrics(font());
    double widest = 0;
    for (const QString &paragraph : m_fullText.split(u'\n'))
        widest = std::max(widest, metrics.horizontalAdvance(paragraph));
    return int(std::ceil(widest)) + 1;
}

int WrappingLabel::heightForWidth(int width) const
{
    return textHeight(shownText(width - horizontalExtra())) + verticalExtra();
}

QSize WrappingLabel::sizeHint() const
{
    const int width = naturalWidth() + horizontalExtra();
    return {width, heightForWidth(width)};
}

QSize WrappingLabel::minimumSizeHint() const
{
    const int width =
        std::min(naturalWidth(), 4 * fontMetrics().averageCharWidth()) + horizontalExtra();
    return {width, textHeight(QString()) + verticalExtra()};
}

void WrappingLabel::relayout()
{
    const QString shown = shownText(contentsRect().width() - 2 * margin());
    if (shown != text())
        setText(shown);
}

void WrappingLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    relayout();
}

void WrappingLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        relayout();
        updateGeometry();
    }
}

} // namespace velmora
