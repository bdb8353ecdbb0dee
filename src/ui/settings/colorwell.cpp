#include "colorwell.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// The clickable swatch. Painted by hand because a style greys out a disabled button's icon,
// and a disabled well must still show which colour is stored.
class Swatch final : public QAbstractButton
{
public:
    Swatch(const QColor *color, QWidget *parent)
        : QAbstractButton(parent)
        , m_color(color)
    {
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
    }

    QSize sizeHint() const override { return {44, 22}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
        painter.setPen(palette().color(group, QPalette::Mid));
        painter.setBrush(palette().color(group, QPalette::Button));
        painter.drawRoundedRect(frame, 4, 4);
        painter.setPen(Qt::NoPen);
        painter.setBrush(*m_color);
        painter.drawRoundedRect(frame.adjusted(3, 3, -3, -3), 2, 2);

        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }

private:
    const QColor *m_color;
};

} // namespace

ColorWell::ColorWell(const QString &text, QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(text, this))
    , m_swatch(new Swatch(&m_color, this))
{
    m_label->setBuddy(m_swatch);
    m_swatch->setAccessibleName(text);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    layout->addWidget(m_swatch);

    connect(m_swatch, &QAbstractButton::clicked, this, &ColorWell::openDialog);
}

QString ColorWell::text() const
{
    return m_label->text();
}

QColorDialog *ColorWell::dialog() const
{
    return m_dialog && m_dialog->isVisible() ? m_dialog.data() : nullptr;
}

void ColorWell::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    m_swatch->update();
}

void ColorWell::changeEvent(QEvent *event)
{
    // The chooser is a child window and would be disabled with the well, left open and
    // inoperable; a disabled well offers no choice.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        if (QColorDialog *open = dialog())
            open->reject();
    }
    QWidget::changeEvent(event);
}

void ColorWell::openDialog()
{
    if (!isEnabled())
        return;
    if (QColorDialog *open = dialog()) {
        open->raise();
        open->activateWindow();
        return;
    }
    // Not modal, so the rest of the settings stay usable while choosing. A chooser that was
    // just closed may still await deletion; a new one replaces it.
    auto *dialog = new QColorDialog(m_color, this);
    dialog->setWindowTitle(text());
    dialog->setOption(QColorDialog::ShowAlphaChannel, false);
    connect(dialog, &QColorDialog::colorSelected, this, [this](const QColor &chosen) {
        // The codes have no alpha; report what will be shown.
        QColor opaque = chosen;
        opaque.setAlpha(255);
        setColor(opaque);
        Q_EMIT colorChosen(opaque);
    });
    connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
    m_dialog = dialog;
    // show(), not open(): open() makes the chooser modal to the settings window.
    dialog->show();
}

} // namespace velmora
