#pragma once

#include "platform/clipboard.h"

namespace velmora {

// The clipboard of the desktop session through Qt; needs a QGuiApplication, and does
// nothing without one.
class DesktopClipboard final : public Clipboard
{
public:
    void setText(const QString &text) override;
};

} // namespace velmora
