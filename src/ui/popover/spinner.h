#pragma once

#include <QBasicTimer>
#include <QWidget>

namespace velmora {

// A small indeterminate progress indicator: spokes turning in the text colour. It turns
// only while it is visible; a hidden spinner costs no timer.
class Spinner : public QWidget
{
    Q_OBJECT

public:
    explicit Spinner(int diameter = 16, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    bool isSpinning() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    static constexpr int spokes = 8;
    int m_diameter;
    int m_step = 0;
    QBasicTimer m_timer;
};

} // namespace velmora
