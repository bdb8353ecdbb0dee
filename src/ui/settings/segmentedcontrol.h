#pragma once

#include <QWidget>

class QAbstractButton;
class QButtonGroup;

namespace velmora {

// Exclusive choices side by side, drawn as one control: one rounded frame with hairlines
// between the segments, the chosen segment filled with the selection colour. Each segment
// is a checkable button of group(), so clicks, keys and assistive technology work as for
// any button.
class SegmentedControl : public QWidget
{
    Q_OBJECT

public:
    explicit SegmentedControl(QWidget *parent = nullptr);

    // Adds a segment at the end, in group() with id.
    QAbstractButton *addSegment(const QString &text, int id);
    QButtonGroup *group() const { return m_group; }

    // The text colour of the chosen segment, on the palette's selection colour.
    static QColor chosenTextColor(const QPalette &palette);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QButtonGroup *m_group;
};

} // namespace velmora
