#include "tts.h"

#include "clientstate.h"
#include "cloudlogging.h"
#include "endpoints.h"
#include "frame.h"
#include "messenger.h"
#include "recognition.h"
#include "serviceswitch.h"
#include "speechcache.h"
#include "streamedrecognition.h"
#include "synthesis.h"
#include "translation.h"

#include <QCoreApplication>
#include <QtConcurrentRun>

#include <cmath>
#include <optional>

using namespace tolka::cloud;

void tts::configSSL()
{
    ClientState &s = clientState();
    if (s.sslReady.isValid())
        return;
    s.sslReady = QtConcurrent::run(&setUpTls);
}

void tts::init()
{
    ClientState &s = clientState();
    if (s.initialised) {
        // A second manager or hub connection would duplicate every recording.
        qCDebug(lcCloud) << "init called again; ignored";
        if (!m_hub)
            m_hub = s.hub;
        return;
    }
    // The default TLS configuration must be in place before any network
    // object exists. Without configSSL (a test, say) it is set up here.
    if (s.sslReady.isValid())
        s.sslReady.waitForFinished();
    else
        setUpTls();
    const QString caFile = developmentCaFile();
    if (!caFile.isEmpty())
        trustExtraCaFile(caFile);

    s.networkManager = std::make_unique<QNetworkAccessManager>();
    s.restManager = std::make_shared<QRestAccessManager>(s.networkManager.get());
    // The build's keys, for the time zone's region, until an account says otherwise.
    useService(buildCredentials(), developmentOrigin());

    m_hub = messenger::instance();
    s.hub = m_hub;
    s.receiver = *this;
    m_hub->recordingReady.connect(&s.receiver, &tts::onRecording);
    m_hub->recordingPages.connect(&s.receiver, &tts::onRecordingPages);
    s.initialised = true;
    qCDebug(lcCloud) << "initialised, region" << s.credentials.speechRegion;
}

void tts::setSpeechLanguage(const QByteArray &lang)
{
    clientState().speechLanguage = lang;
}

void tts::setFastTranscribe(const QByteArray &lang)
{
    ClientState &s = clientState();
    s.fastTranscribe = false;
    s.sourceLanguage = lang;
}

void tts::ttrad(const QByteArray &text)
{
    translateText(text);
}

void tts::tvoice(const QByteArray &text, const QByteArray &voice)
{
    synthesize(text, voice);
}

void tts::setSpeakingRate(double rate)
{
    ClientState &s = clientState();
    s.speakingRate = boundedSpeakingRate(rate);
    if (std::isnan(rate))
        qCWarning(lcCloud) << "a speaking rate that is not a number; the default" << s.speakingRate
                           << "applies";
    else if (s.speakingRate != rate)
        qCInfo(lcCloud) << "speaking rate" << rate << "kept to" << s.speakingRate;
    else
        qCDebug(lcCloud) << "speaking rate" << s.speakingRate;
}

bool tts::replay(const QByteArray &text, const QByteArray &voice, const QByteArray &language)
{
    ClientState &s = clientState();
    if (!s.hub)
        return false;
    const std::optional<QByteArray> audio =
        replyCache().find({language, voice, speakingRateText(s.speakingRate), text, speechService()});
    if (!audio)
        return false;
    qCDebug(lcCloud) << "speaking" << audio->size() << "cached bytes";
    // It replaces at the speaker whatever is still arriving, which is then
    // not cached.
    ++s.lastUtterance;
    s.hub->speechReady.fire(*audio);
    return true;
}

void tts::onRecording(const QByteArray &recording)
{
    ClientState &s = clientState();
    s.lastRecording = recording;
    if (!finishStreamedRecognition(s.lastRecording, s.sourceLanguage))
        recognizeShortAudio(s.lastRecording, s.sourceLanguage);
}

void tts::onRecordingPages(const QByteArray &pages)
{
    takeRecordingPages(pages);
}
