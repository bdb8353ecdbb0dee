#pragma once

#include <QWidget>

namespace velmora {

class Preferences;
class TrafficHistory;

// The rates of the last five minutes: download as a filled area, upload as a line over it, on
// one scale from 0 to a round ceiling named in the top left corner; the newest sample at the
// right edge, one step a second. The two are told apart by their shape, and each stands
// out 3:1 or more against the card in light and dark themes.
class TrafficGraph : public QWidget
{
    Q_OBJECT

public:
    // history and prefs must outlive the graph; call update() when history changes.
    TrafficGraph(const TrafficHistory &history, const Preferences &prefs,
                 QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

    // The colours of the two curves in a palette.
    static QColor downloadColor(const QPalette &palette);
    static QColor uploadColor(const QPalette &palette);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const TrafficHistory &m_history;
    const Preferences &m_prefs;
};

} // namespace velmora
