#pragma once

#include <QString>

#include <expected>

namespace velmora {

// The desktop's record of whether this program starts at login.
class LoginItem
{
public:
    enum class Status { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    virtual ~LoginItem() = default;

    virtual Status status() const = 0;
    // The error is a user-readable text saying what failed; a failed change leaves the record
    // as it was.
    virtual std::expected<void, QString> registerItem() = 0;
    virtual std::expected<void, QString> unregisterItem() = 0;
};

} // namespace velmora
