#pragma once

#include "tts.h"

#include <QByteArray>
#include <QFuture>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QRestAccessManager>
#include <QUrl>

#include <memory>

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

    bool westEuropeRegion = false;
    QUrl translateUrl;
    QUrl synthesisUrl;
    QUrl recognitionUrl;
    QUrl transcriptionUrl;
    QNetworkRequest translateRequest;
    QNetworkRequest synthesisRequest;
    QNetworkRequest recognitionRequest;
    QNetworkRequest transcriptionRequest;

    // The translator resource's region; empty for a global resource.
    QByteArray translatorRegion;

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
