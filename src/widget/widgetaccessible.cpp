#include "widgetaccessible.h"

#include "widgetview.h"

#include <QAccessibleWidget>
#include <QPointer>

#include <optional>

namespace velmora {

namespace {

struct SpokenItem
{
    QString name;
    QString description;
    QRectF rect; // in the view
    QAccessible::Role role;
};

QList<SpokenItem> spokenItems(const GeoWidgetView &view)
{
    const WidgetDrawing drawing = layoutWidget(view.entry(), view.family());
    QList<SpokenItem> items;
    for (const WidgetText &text : drawing.texts)
        items.append({text.spoken, {}, text.rect, QAccessible::StaticText});
    if (drawing.staleSymbol)
        items.append(
            {staleMarkName(), staleMarkDescription(), *drawing.staleSymbol, QAccessible::Graphic});
    return items;
}

// The index-th item of the view, read afresh at every question: the entry changes under it.
class SpokenItemAccessible final : public QAccessibleInterface
{
public:
    SpokenItemAccessible(GeoWidgetView *view, int index)
        : m_view(view)
        , m_index(index)
    {}

    bool isValid() const override { return item().has_value(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return m_view ? QAccessible::queryAccessibleInterface(m_view.data()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text kind) const override
    {
        const std::optional<SpokenItem> spoken = item();
        if (!spoken)
            return {};
        if (kind == QAccessible::Name)
            return spoken->name;
        return kind == QAccessible::Description ? spoken->description : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        const std::optional<SpokenItem> spoken = item();
        return spoken ? spoken->rect.toAlignedRect().translated(m_view->mapToGlobal(QPoint()))
                      : QRect();
    }
    QAccessible::Role role() const override
    {
        const std::optional<SpokenItem> spoken = item();
        return spoken ? spoken->role : QAccessible::NoRole;
    }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = !m_view || !m_view->isVisible();
        state.readOnly = true;
        return state;
    }

private:
    std::optional<SpokenItem> item() const
    {
        if (!m_view)
            return std::nullopt;
        const QList<SpokenItem> items = spokenItems(*m_view);
        return m_index < items.size() ? std::optional(items[m_index]) : std::nullopt;
    }

    QPointer<GeoWidgetView> m_view;
    int m_index;
};

// The view with its items as children. They are made as they are first asked for and live as
// long as the view's own node.
class GeoWidgetAccessible final : public QAccessibleWidget
{
public:
    explicit GeoWidgetAccessible(GeoWidgetView *view)
        : QAccessibleWidget(view, view->isWindow() ? QAccessible::Window : QAccessible::Grouping)
    {}
    ~GeoWidgetAccessible() override
    {
        for (QAccessibleInterface *child : std::as_const(m_children))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(child));
    }

    int childCount() const override { return int(spokenItems(*view()).size()); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        while (m_children.size() <= index)
            m_children.append(new SpokenItemAccessible(view(), int(m_children.size())));
        return m_children[index];
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const qsizetype index = m_children.indexOf(const_cast<QAccessibleInterface *>(child));
        return index < childCount() ? int(index) : -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (child(i)->rect().contains(x, y))
                return child(i);
        return nullptr;
    }

private:
    GeoWidgetView *view() const { return static_cast<GeoWidgetView *>(widget()); }

    mutable QList<QAccessibleInterface *> m_children;
};

QAccessibleInterface *createAccessible(const QString &, QObject *object)
{
    if (auto *view = qobject_cast<GeoWidgetView *>(object))
        return new GeoWidgetAccessible(view);
    return nullptr;
}

} // namespace

void installWidgetAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&createAccessible);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace velmora
