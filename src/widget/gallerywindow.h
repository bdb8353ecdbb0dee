#pragma once

#include "geoentry.h"
#include "widgetlayout.h"

#include <QWidget>

namespace velmora {

// The widget gallery: "Velmora", its description, and both sizes drawn from the preview
// snapshot, each with a button that places a widget of that size.
class GalleryWindow : public QWidget
{
    Q_OBJECT

public:
    // Under the name, in the user's language.
    static QString description();

    explicit GalleryWindow(const GeoEntry &preview, QWidget *parent = nullptr);

Q_SIGNALS:
    void chosen(WidgetFamily family);
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
};

} // namespace velmora
