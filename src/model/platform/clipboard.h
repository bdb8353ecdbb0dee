#pragma once

#include <QString>

namespace velmora {

// The desktop's clipboard.
class Clipboard
{
public:
    virtual ~Clipboard() = default;

    // Replaces whatever the clipboard held with text alone, as plain text.
    virtual void setText(const QString &text) = 0;
};

} // namespace velmora
