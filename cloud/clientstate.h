#pragma once

#include "credentials.h"
#include "tts.h"

#include <QByteArray>
#include <QFuture>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QRestAccessManager>
#include <QUrl>

#include <memory>
#include <optional>

class messenger;

namespace tolka::cloud {

// The client's process-wide state. Touched on the GUI thread only (every
// operation, reply handler and the recordingReady slot run there), so nothing
// here is atomic.
struct ClientState
{
    QFuture<void> sslReady;
    bool initialised = false;
    std::unique_ptr<QNetworkAccessManager> networkManager;
    std::shared_ptr<QRestAccessManager> restManager;
    std::shared_ptr<messenger> hub;
    // The value the hub delivers recordings to; lives as long as the state.
    tts receiver;

    Credentials credentials;
    // Where every request goes instead of the services' hosts (the local
    // stand-in), or nothing.
    std::optional<QUrl> origin;
    QUrl translateUrl;
    QUrl synthesisUrl;
    QUrl recognitionUrl;
    QUrl transcriptionUrl;
    QNetworkRequest translateRequest;
    QNetworkRequest synthesisRequest;
    QNetworkRequest recognitionRequest;
    QNetworkRequest transcriptionRequest;

    QByteArray speechLanguage;
    QByteArray sourceLanguage;
    bool fastTranscribe = false;
    QByteArray lastRecording;

    qint64 failureCount = 0;
    bool useSpeechBackupKey = false;
    bool useTranslatorBackupKey = false;
};

[[nodiscard]] ClientState &clientState();

} // namespace tolka::cloud
