#pragma once

#include <QObject>

#include <chrono>
#include <functional>

namespace tolka {

// Work that would compete with the main window's first frame for the
// processor (starting the offline engines, say) waits at this gate until the
// frame is on screen. The gate is open unless start-up closes it; it opens
// again at openFirstFrameGate() or when the limit given to close it runs out,
// so that nothing waits for a window that is never drawn.
void closeFirstFrameGate(std::chrono::milliseconds limit = std::chrono::seconds(3));
void openFirstFrameGate();
[[nodiscard]] bool firstFrameGateOpen();

// Runs work at once when the gate is open, else on the thread of context once
// it opens; dropped when context is destroyed first.
void afterFirstFrame(QObject *context, std::function<void()> work);

} // namespace tolka
