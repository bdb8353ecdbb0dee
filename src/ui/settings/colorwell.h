#pragma once

#include <QColor>
#include <QColorDialog>
#include <QPointer>
#include <QWidget>

class QAbstractButton;
class QLabel;

namespace velmora {

// A labelled colour swatch. A click opens a colour chooser without opacity (not modal, one at
// a time); accepting it reports the colour. The swatch shows its colour also while disabled;
// disabling the well closes an open chooser without a choice.
class ColorWell : public QWidget
{
    Q_OBJECT

public:
    explicit ColorWell(const QString &text, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    // Shows color; does not report it.
    void setColor(const QColor &color);

    QString text() const;
    // The chooser while it is open, else null.
    QColorDialog *dialog() const;

public Q_SLOTS:
    // Opens the chooser on the current colour, or raises it when it is already open. Does
    // nothing while the well is disabled.
    void openDialog();

Q_SIGNALS:
    // The user accepted color in the chooser (always opaque).
    void colorChosen(const QColor &color);

protected:
    void changeEvent(QEvent *event) override;

private:
    QColor m_color = Qt::white;
    QLabel *m_label = nullptr;
    QAbstractButton *m_swatch = nullptr;
    QPointer<QColorDialog> m_dialog;
};

} // namespace velmora
