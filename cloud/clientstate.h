#pragma once

#include "credentials.h"
#include "speechcache.h"
#include "synthesis.h"
#include "tts.h"

#include <QByteArray>
#include <QFuture>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QRestAccessManager>
#include <QUrl>

#include <cstdint>
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
    double speakingRate = defaultSpeakingRate; // always within the bounds
    // Counts what was last handed to the speaker or asked for (syntheses
    // and replays): a reply that something newer replaced is not cached.
    std::uint64_t lastUtterance = 0;
    // Made on first use (replyCache), or given by a test.
    std::unique_ptr<SpeechCache> speechCache;
    QByteArray sourceLanguage;
    bool fastTranscribe = false;
    QByteArray lastRecording;

    qint64 failureCount = 0;
    bool useSpeechBackupKey = false;
    bool useTranslatorBackupKey = false;
};

[[nodiscard]] ClientState &clientState();

// The state's cache of synthesised replies, made in its default folder with
// its default bounds when there is none yet.
[[nodiscard]] SpeechCache &replyCache();

} // namespace tolka::cloud
