#pragma once

#include "cloudservice.h"

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
    // region; the service stands in for a global translator resource.
    void reset();

private:
    QTemporaryDir m_folder;
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
