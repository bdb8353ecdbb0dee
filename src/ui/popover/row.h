#pragma once

#include <QLabel>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace velmora {

// Text that wraps at word boundaries, and inside a word that is too long for a line (an
// IPv6 address), and shows at most maximumLines() lines, the last one cut with an ellipsis.
// text() is what is shown at the current width; fullText() is the whole text.
class WrappingLabel : public QLabel
{
    Q_OBJECT

public:
    explicit WrappingLabel(const QString &text = {}, QWidget *parent = nullptr);

    QString fullText() const { return m_fullText; }
    void setFullText(const QString &text);
    // 0 means no limit.
    int maximumLines() const { return m_maximumLines; }
    void setMaximumLines(int lines);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    int horizontalExtra() const;
    int verticalExtra() const;
    // The text as shown when the text area is width pixels wide: broken into lines with
    // line feeds, at most maximumLines() of them.
    QString shownText(int width) const;
    // The height QLabel gives shown.
    int textHeight(const QString &shown) const;
    int naturalWidth() const;
    void relayout();

    QString m_fullText;
    int m_maximumLines = 0;
};

// One line of a card: a label on the left in the secondary colour, a flexible gap of at
// least 12 pixels, and the value on the right, both in the callout font. The label lines up
// with the value's first text baseline.
//
// A label value is set up as a row value: trailing-aligned, selectable, and at most three
// lines when it is a WrappingLabel. Any other value is taken as a horizontal stack that
// centres its parts vertically; the row lines up with its first label, or with the one
// given to setBaselineLabel().
class Row : public QWidget
{
    Q_OBJECT

public:
    Row(const QString &label, QWidget *value, QWidget *parent = nullptr);

    QLabel *label() const { return m_label; }
    QWidget *value() const { return m_value; }
    void setBaselineLabel(QLabel *label);

    // Pixels from the value's top, at its preferred height, to its first text baseline.
    int valueBaseline() const;

private:
    QLabel *m_label;
    QWidget *m_value;
    QPointer<QLabel> m_baselineLabel;
};

} // namespace velmora
