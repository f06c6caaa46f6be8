#pragma once

#include "speechpiece.h"
#include "tolkasignal.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <memory>

class QBasicMutex;

// The process-wide hub: carries recordings from the encoder to the cloud
// client and synthesised speech from the cloud client to the speaker, and
// delivers tagged messages to the main window.
class messenger
{
public:
    [[nodiscard]] static std::shared_ptr<messenger> instance();

    // Hands (tag, value) to the main window's QML function forwardMessage.
    // Synchronous on the GUI thread, queued (in sending order) from others.
    // Dropped silently when there is no window.
    void forwardMessage(const QString &tag, const QVariant &value);

    tolka::signal<QByteArray> recordingReady;
    // The pages of the recording being made, in order, as they are made;
    // the first of each recording holds its two header pages.
    tolka::signal<QByteArray> recordingPages;
    tolka::signal<QByteArray> speechReady; // a whole reply
    tolka::signal<SpeechPiece> speechPieceReady;
};

namespace tolka {
// Guards creation of the process-wide singletons and the window lookup of
// every UI message. Never destroyed before process exit.
[[nodiscard]] QBasicMutex &hubMutex();
} // namespace tolka
