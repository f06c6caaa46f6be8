#pragma once

#include <QIcon>

namespace tolka::tray {

// What the icon shows.
enum class Activity
{
    Idle,
    Recording,
    Speaking
};

// The application icon, with a red dot while recording and a green one
// while speaking, drawn at the sizes trays ask for.
[[nodiscard]] QIcon artwork(Activity activity);

} // namespace tolka::tray
