#pragma once

#include <Qt>

#include <functional>

// The microphone permission, asked of the platform through Qt. Where the
// platform has no such permission (Linux) it counts as granted.
namespace micpermission {

struct Hooks
{
    std::function<Qt::PermissionStatus()> status;
    std::function<void()> request;
};

[[nodiscard]] Qt::PermissionStatus status();
// Asks the user; the answer is not waited for.
void request();

// Replaces the platform query (for tests); empty hooks restore it.
void setHooks(Hooks hooks);

} // namespace micpermission
