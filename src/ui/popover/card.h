#pragma once

#include <QFrame>
#include <QString>

namespace velmora {

// A titled box: a caption-size semibold title with its symbol, in the secondary colour,
// then the content; padding 12, spacing 8, on a rounded background (radius 10) of the
// palette's base colour at 0.6 opacity, framed by a hairline in the separator colour at
// half opacity. It takes the full width it is given.
class Card : public QFrame
{
    Q_OBJECT

public:
    Card(const QString &title, const QString &symbol, QWidget *content, QWidget *parent = nullptr);

    QWidget *content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *m_content;
};

} // namespace velmora
