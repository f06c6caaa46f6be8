#pragma once

#include <memory>

class QThread;

// The shared worker thread on which the encoder and the speaker live. Started
// on first use (and again after it has quit); told to quit when the
// application is about to quit; waited for before it is destroyed.
[[nodiscard]] std::shared_ptr<QThread> workerThread();
