#include "platform/clipboard_linux.h"

#include <QClipboard>
#include <QGuiApplication>

namespace velmora {

void DesktopClipboard::setText(const QString &text)
{
    if (!qGuiApp)
        return;
    // A fresh QMimeData holding only the text: earlier formats do not survive.
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

} // namespace velmora
