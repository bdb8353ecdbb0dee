#pragma once

#include "wrappinglabel.h"

#include <QLabel>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace velmora {

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
