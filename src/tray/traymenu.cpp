#include "traymenu.h"

#include "trayitem.h"

#include <QMenu>

namespace velmora {

void popUpTrayMenu(TrayItem &item, QPoint at)
{
    auto *menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const TrayItem::MenuLine &line : TrayItem::menu()) {
        if (!line.action) {
            menu->addSeparator();
            continue;
        }
        QObject::connect(
            menu->addAction(line.label), &QAction::triggered, &item,
            [&item, action = *line.action] { Q_EMIT item.menuActionTriggered(action); });
    }
    menu->popup(at);
}

} // namespace velmora
