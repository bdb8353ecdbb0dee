#include "gallerywindow.h"

#include "look.h"
#include "widgetview.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

QString GalleryWindow::description()
{
    return tr("Your IP country and network at a glance.");
}

GalleryWindow::GalleryWindow(const GeoEntry &preview, QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Velmora"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 24);
    layout->setSpacing(4);
    auto *name = new QLabel(QStringLiteral("Velmora"), this);
    name->setFont(textFont(TextStyle::title3, QFont::DemiBold));
    layout->addWidget(name);
    auto *about = new QLabel(description(), this);
    setTint(about, Tint::secondary);
    layout->addWidget(about);
    layout->addSpacing(16);

    auto *sizes = new QHBoxLayout;
    sizes->setSpacing(24);
    for (const WidgetFamily family : {WidgetFamily::small, WidgetFamily::medium}) {
        const bool small = family == WidgetFamily::small;
        auto *column = new QVBoxLayout;
        auto *view = new GeoWidgetView(family, this);
        view->setEntry(preview);
        column->addWidget(view);
        auto *add = new QPushButton(small ? tr("Add Small Widget") : tr("Add Medium Widget"), this);
        add->setObjectName(small ? QStringLiteral("small") : QStringLiteral("medium"));
        connect(add, &QPushButton::clicked, this, [this, family] { Q_EMIT chosen(family); });
        column->addWidget(add, 0, Qt::AlignHCenter);
        sizes->addLayout(column);
    }
    sizes->addStretch();
    layout->addLayout(sizes);
    setFixedSize(sizeHint());
}

void GalleryWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace velmora
