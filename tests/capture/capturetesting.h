#pragma once

#include "capturedevice.h"
#include "scriptedcapturebackend.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QObject>

#include <memory>
#include <vector>

// Shared pieces of the capture tests.
namespace capturetesting {

// The spoken sentence of tests/data/speech (48 kHz mono 16-bit).
inline std::vector<qint16> sentence()
{
    QFile file(QStringLiteral(TOLKA_TEST_DATA "/speech/sentence.raw"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray raw = file.readAll();
    std::vector<qint16> samples(static_cast<std::size_t>(raw.size() / 2));
    std::memcpy(samples.data(), raw.constData(), samples.size() * sizeof(qint16));
    return samples;
}

// Collects the recordings emitted on the hub, on the thread it lives on.
class RecordingSink : public QObject
{
    Q_OBJECT
public:
    void receive(QByteArray recording) { recordings.append(std::move(recording)); }
    QList<QByteArray> recordings;
};

// Devices created from now on use a scripted backend built from these.
inline void useScriptedDevice(std::deque<ScriptedCaptureBackend::WakeUp> script,
                              ScriptedCaptureBackend::Options options,
                              std::shared_ptr<ScriptedCaptureBackend::Log> log)
{
    capture::setBackendFactory(
        [script, options, log] { return std::make_unique<ScriptedCaptureBackend>(script, options, log); });
}

// One wake-up delivering `packets`.
inline ScriptedCaptureBackend::WakeUp packets(std::vector<std::vector<std::int16_t>> blocks)
{
    return {ScriptedCaptureBackend::Step::Packets, std::move(blocks)};
}

} // namespace capturetesting
