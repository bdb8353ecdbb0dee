#pragma once

#include <QString>

#include <optional>

namespace velmora {

// The desktop's record of whether this program starts at login.
class LoginItem
{
public:
    enum class Status { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    virtual ~LoginItem() = default;

    virtual Status status() const = 0;
    // Each returns nothing on success, otherwise a user-readable text saying what failed;
    // a failed change leaves the record as it was.
    virtual std::optional<QString> registerItem() = 0;
    virtual std::optional<QString> unregisterItem() = 0;
};

} // namespace velmora
