#pragma once

#include "cloudservice.h"
#include "speechpiece.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <QWindow>

#include <span>

// Stands in for the main window: records every UI message it receives.
class MessageWindow : public QWindow
{
    Q_OBJECT
public:
    struct Message
    {
        QString tag;
        QVariant value;
    };

    Q_INVOKABLE void forwardMessage(const QString &tag, const QVariant &value)
    {
        messages.append({tag, value});
    }

    [[nodiscard]] QStringList tags() const;
    // Tags with their bool values, e.g. "BUSY:true", for sequence checks.
    [[nodiscard]] QStringList trace() const;
    [[nodiscard]] qsizetype count(const QString &tag) const;
    [[nodiscard]] QVariant last(const QString &tag) const;

    QList<Message> messages;
};

// Stands in for the speaker: joins the pieces of each synthesis reply from
// the hub, in order, and keeps every reply that ended with the number of
// pieces it came in. Whole replies (the old path) count as one piece.
class SpeechSink
{
public:
    void connectToHub();
    void clear();

    QList<QByteArray> received;
    QList<int> pieceCounts;
    int wholeReplies = 0;  // of the received, those that came on speechReady
    int disorders = 0;     // pieces that broke the order of their reply
    int partialPieces = 0; // pieces that were not whole 60-byte packets

private:
    void onPiece(SpeechPiece piece);
    void onWhole(QByteArray audio);

    struct Open
    {
        QByteArray audio;
        int pieces = 0;
    };
    QHash<quint64, Open> m_open;
};

// A synthesis engine that speaks for `milliseconds` whatever it is asked: a
// tone whose pitch slides, so that every packet differs.
class LongToneSynthesis final : public SynthesisEngine
{
public:
    explicit LongToneSynthesis(int milliseconds) : m_milliseconds(milliseconds) {}
    EngineResult<QByteArray> synthesize(const SpeechRequest &request, QDeadlineTimer deadline) override;
    [[nodiscard]] QByteArray audio() const;

private:
    int m_milliseconds;
};

// The local service on a free loopback port with a fresh certificate, and the
// client pointed at it through its development override. The client sets up
// once per process, so each test program starts one fixture.
class CloudFixture
{
public:
    // Starts the service and initialises the client; false (with a test
    // failure message in error) when anything is missing.
    bool start(QString *error);
    // Only the service; the client is left alone.
    bool startService(QString *error);

    [[nodiscard]] CloudService &service() { return m_service; }
    [[nodiscard]] QString caPath() const { return m_caPath; }
    // Forgets the log and the scripted replies and puts the client back as
    // it starts: no failure counted, primary keys, the build's translator
    // region, the default speaking rate and an empty cache of replies in a
    // folder of the fixture's own; the service stands in for a global
    // translator resource.
    void reset();

private:
    // The client caches speech here, never in the user's cache folder.
    void giveEmptySpeechCache();

    QTemporaryDir m_folder;
    int m_speechCaches = 0;
    CloudService m_service;
    QString m_caPath;
};

// A real Ogg Opus recording as the recorder makes them (48 kHz mono, 20 ms
// packets): a tone whose pitch depends on seed, so that recordings of
// different seeds differ, milliseconds long (none at all: no packet).
[[nodiscard]] QByteArray oggOpusRecording(int seed, int milliseconds = 200);
// 48 kHz mono samples as the recorder would stream them (every whole frame).
[[nodiscard]] QByteArray oggOpusOf(std::span<const qint16> pcm, quint32 serial = 1);

[[nodiscard]] QByteArray sha256Hex(const QByteArray &data);
