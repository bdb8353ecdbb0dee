#pragma once

#include "geoentry.h"
#include "platform/portalcolorscheme.h"
#include "widgetlayout.h"

#include <QColor>
#include <QWidget>

class QPainter;
class QPainterPath;

namespace velmora {

// The widget's colours: a translucent fill after the desktop's light or dark scheme, and text
// that reads 4.5:1 or better on it whatever the desktop shows through.
struct WidgetColors
{
    QColor fill;
    QColor text;
    QColor secondaryText;
};
WidgetColors widgetColors(bool dark);

// The rounded card of the family.
QPainterPath cardShape(WidgetFamily family);

// Draws the drawing on a rounded, translucent card the size of the family.
void paintWidget(QPainter &painter, const WidgetDrawing &drawing, WidgetFamily family,
                 const WidgetColors &colors);

// One entry drawn in one size, light or dark as the desktop prefers; where it says nothing, as
// the application palette is. Assistive technology reads what it draws (widgetaccessible.h).
class GeoWidgetView : public QWidget
{
    Q_OBJECT

public:
    explicit GeoWidgetView(WidgetFamily family, QWidget *parent = nullptr);

    WidgetFamily family() const { return m_family; }
    void setFamily(WidgetFamily family);
    const GeoEntry &entry() const { return m_entry; }
    void setEntry(const GeoEntry &entry);
    void setColorScheme(PortalColorScheme::Preference preference);

    QSize sizeHint() const override { return widgetSize(m_family); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void redraw();

    WidgetFamily m_family;
    GeoEntry m_entry;
    PortalColorScheme::Preference m_scheme = PortalColorScheme::Preference::None;
};

} // namespace velmora
