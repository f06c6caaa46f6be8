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
    Q_INVOKABLE void tvoice(const QByteArray &text, const QByteArray &voice);
    Q_INVOKABLE void setSpeechLanguage(const QByteArray &lang);
    Q_INVOKABLE void setFastTranscribe(const QByteArray &lang);
    Q_INVOKABLE void ttrad(const QByteArray &text);
    // Sets up endpoints, request templates and network managers and connects
    // to the hub's recordings. Only the first call has an effect.
    Q_INVOKABLE void init();

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
