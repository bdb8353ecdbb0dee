#pragma once

#include <QLabel>
#include <QString>

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

} // namespace velmora
