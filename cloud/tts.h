#pragma once

#include <QByteArray>
#include <QMetaType>

#include <memory>

class messenger;

// The cloud client handed to QML as "tts": translation, recognition and
// synthesis. A value type; all client state is process-wide, so copies are
// interchangeable.
class tts
{
    Q_GADGET
public:
    // Asks the service to speak text with voice (never the cache; its
    // reply is cached).
    Q_INVOKABLE void tvoice(const QByteArray &text, const QByteArray &voice);
    Q_INVOKABLE void setSpeechLanguage(const QByteArray &lang);
    Q_INVOKABLE void setFastTranscribe(const QByteArray &lang);
    Q_INVOKABLE void ttrad(const QByteArray &text);
    // Sets up endpoints, request templates and network managers and connects
    // to the hub's recordings. Only the first call has an effect.
    Q_INVOKABLE void init();

    // Added after the first five, whose indices in the meta-object stay.
    // The rate of every synthesis sent from now on, relative to the voice's
    // normal one: kept within 0.5 to 1.5; not a number is 0.80.
    Q_INVOKABLE void setSpeakingRate(double rate);
    // When the cache holds the reply for (language, voice, the current
    // rate, text), hands it to the player as a whole reply, sends nothing
    // and returns true; otherwise does nothing and returns false.
    Q_INVOKABLE bool replay(const QByteArray &text, const QByteArray &voice, const QByteArray &language);

    // Starts the TLS set-up on the global thread pool; init waits for it.
    static void configSSL();

    // Receives a finished Ogg Opus recording from the hub and recognises it.
    void onRecording(const QByteArray &recording);
    // Receives the pages of a recording still being made, to stream them.
    void onRecordingPages(const QByteArray &pages);

    [[nodiscard]] const std::shared_ptr<messenger> &hub() const { return m_hub; }

private:
    std::shared_ptr<messenger> m_hub;
};
