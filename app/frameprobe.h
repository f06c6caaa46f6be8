#pragma once

class QQuickWindow;

namespace tolka {

// For the start-up benchmark: with TOLKA_FRAME_PROBE set, writes
// "tolka-frame <n> <steady clock ns>" to stderr now (n = 0: the window is
// about to be shown) and for every frame the window puts on screen (n from
// 1), and a value above zero quits the application that many milliseconds
// after the first frame. Without the variable nothing is connected.
void watchFrames(QQuickWindow &window);

} // namespace tolka
