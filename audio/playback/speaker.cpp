#include "speaker.h"

#include "audioerror.h"
#include "audiooutput.h"
#include "messenger.h"
#include "playbacklogging.h"
#include "playbackstate.h"
#include "renderdevice.h"
#include "speechdecoder.h"
#include "speechstream.h"

#include <QFile>
#include <QString>
#include <QVariantMap>

#include <algorithm>
#include <cfloat>

// Tags are literals: their text is static, never allocated on the worker
// thread and freed on the GUI thread.
using namespace Qt::StringLiterals;

namespace {
// The first part of a reply is decoded small, so that it sounds at once; the
// rest in parts of a few milliseconds' work (within the render thread's wait
// for more, playbackState::dryWait), each its own queued call so that a stop
// or a newer reply is not kept waiting.
constexpr qsizetype firstPackets = 5;
constexpr qsizetype laterPackets = 20;

QPointer<speaker> &currentSpeaker()
{
    static QPointer<speaker> current;
    return current;
}
} // namespace

speaker::speaker(double speechVolume, double appVolume)
    : m_hub(messenger::instance()), m_speechVolume(speechVolume), m_appVolume(appVolume), m_pieceTimer(this),
      m_deviceWatch(this)
{
    connect(&m_deviceWatch, &QTimer::timeout, this, &speaker::watchDevice);
    m_hub->speechReady.connect(this, &speaker::receiveSpeech);
    m_hub->speechPieceReady.connect(this, &speaker::receivePiece);
    m_pieceTimer.setSingleShot(true);
    m_pieceTimer.setInterval(pieceTimeout);
    connect(&m_pieceTimer, &QTimer::timeout, this, &speaker::pieceTimedOut);

    QFile file(QString::fromLatin1(blipResource));
    if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        playbackState::instance().replaceBlip(file.readAll());
    else
        qCWarning(lcPlayback) << "cannot open the prompt sound" << blipResource << file.errorString();
}

speaker::~speaker() = default;

QPointer<speaker> speaker::current()
{
    return currentSpeaker();
}

void speaker::makeCurrent(speaker *next)
{
    QPointer<speaker> previous = std::exchange(currentSpeaker(), next);
    if (previous && previous != next)
        previous->deleteLater();
}

void speaker::receiveSpeech(QByteArray reply)
{
    // A whole reply replaces one still arriving.
    if (m_incoming) {
        m_incoming.reset();
        m_pieceTimer.stop();
        playbackState::instance().endSpeech();
    }
    if (!decodeSpeech(reply)) {
        refuseReply();
        return;
    }
    playSource(false);
}

void speaker::refuseReply()
{
    // Whatever plays ends (an earlier utterance belongs to another text),
    // and the interface hears that the reply was bad, as it hears of any
    // failed synthesis.
    stopPlayback();
    m_hub->forwardMessage(u"ERROR"_s, QVariantMap{{u"service"_s, u"synthesis"_s},
                                                  {u"failure"_s, u"transient"_s},
                                                  {u"status"_s, 200},
                                                  {u"code"_s, u"undecodable"_s}});
}

void speaker::receivePiece(SpeechPiece piece)
{
    playbackState &state = playbackState::instance();
    if (piece.index == 0) {
        if (m_incoming && !m_incoming->ended())
            qCDebug(lcPlayback) << "reply" << piece.reply << "replaces reply" << m_incoming->reply
                                << "while it still arrives";
        m_incoming = std::make_unique<IncomingSpeech>(piece.reply);
        // The playing source keeps the old speech until the new one starts.
        state.beginSpeech();
    } else if (!m_incoming || !m_incoming->takes(piece)) {
        qCDebug(lcPlayback) << "dropped piece" << piece.index << "of reply" << piece.reply
                            << "(replaced, ended or out of order)";
        return;
    }
    IncomingSpeech &incoming = *m_incoming;
    ++incoming.nextIndex;
    incoming.lastReceived = piece.last;
    incoming.stream.feed(piece.packets);
    if (piece.last)
        m_pieceTimer.stop();
    else
        m_pieceTimer.start();
    if (!incoming.decodeQueued)
        decodeIncoming();
}

void speaker::decodeIncoming()
{
    IncomingSpeech &incoming = *m_incoming;
    playbackState &state = playbackState::instance();
    state.appendSpeech(incoming.stream.decode(incoming.started ? laterPackets : firstPackets));
    const bool ended = incoming.ended();
    if (ended)
        incoming.stream.judgeEnd();
    if (incoming.stream.refused()) {
        qCWarning(lcPlayback) << "refused reply" << incoming.reply << ": of its first"
                              << incoming.stream.judgedPackets() << "packets"
                              << incoming.stream.skippedPackets() << "did not decode";
        m_incoming.reset();
        m_pieceTimer.stop();
        state.replaceSpeech({});
        refuseReply();
        return;
    }
    if (ended) {
        if (incoming.stream.partialBytes() != 0)
            qCDebug(lcPlayback) << "ignored a trailing partial packet of" << incoming.stream.partialBytes()
                                << "bytes";
        if (incoming.stream.skippedPackets() > 0)
            qCWarning(lcPlayback) << "skipped" << incoming.stream.skippedPackets() << "undecodable packets";
        state.endSpeech();
    }
    // Playback starts with the first samples (or, for a reply without any,
    // at its end, which reports it over as a whole empty reply would). Once
    // started, a stop or the blip is not undone by later pieces.
    // Not before enough packets were judged, so that a reply that is refused
    // is not heard at all (as when it comes whole).
    if (!incoming.started && incoming.stream.judged(ended) && (ended || state.hasSpeechSamples())) {
        incoming.started = true;
        playSource(false);
    }
    incoming.decodeQueued = incoming.stream.wholePackets() > 0;
    if (!incoming.decodeQueued)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, reply = incoming.reply] {
            if (m_incoming && m_incoming->reply == reply)
                decodeIncoming();
        },
        Qt::QueuedConnection);
}

void speaker::pieceTimedOut()
{
    if (!m_incoming || m_incoming->lastReceived)
        return;
    qCWarning(lcPlayback) << "reply" << m_incoming->reply << "sent nothing for" << m_pieceTimer.interval()
                          << "ms; its speech ends with what arrived";
    // Ended as if its last piece had come: what is queued still plays.
    m_incoming->lastReceived = true;
    if (!m_incoming->decodeQueued)
        decodeIncoming();
}

void speaker::playSource(bool isBip)
{
    m_isSpeech = !isBip;
    playbackState &state = playbackState::instance();
    const bool hasSpeech = state.hasSpeech();
    const bool playing = isBip ? startPlayback(state.blip(), m_appVolume) : startSpeech(hasSpeech);
    if (playing && hasSpeech)
        send(u"ISPLAYING"_s, m_isSpeech);
}

bool speaker::startPlayback(const QByteArray &source, double volume)
{
    return start(volume, !source.isEmpty(), [&source](playbackState &s) { s.setSourceLocked(source); });
}

bool speaker::startSpeech(bool hasSpeech)
{
    return start(m_speechVolume, hasSpeech, [](playbackState &s) { s.setSpeechSourceLocked(); });
}

bool speaker::start(double volume, bool hasSound, const std::function<void(playbackState &)> &setSource)
{
    playbackState &state = playbackState::instance();
    std::unique_lock locker(state.lock());
    if (!hasSound) {
        locker.unlock();
        playbackFinished();
        return true;
    }
    AudioOutput &device = playback::ensureRenderDevice(this);
    setSource(state);
    // Checked a few times per stall time-out while it plays.
    m_deviceWatch.start(playback::stallTimeout() / 2);
    // A running device picks the new block up at its next period, at the
    // volume it was started with.
    if (device.isRunning() && !device.isStalled())
        return true;
    if (device.isStalled())
        qCInfo(lcPlayback) << "the render thread had stopped on its own; restarting the device";
    // Not above 0 (NaN included) is silence; the clamp keeps the float
    // conversion defined for any value QML may pass.
    device.setVolume(volume > 0 ? static_cast<float>(std::min(volume, double(FLT_MAX))) : 0.0f);
    if (device.isInitialised() && device.start())
        return true;
    // Nothing will play: the interface hears why, and the playback ends at
    // once (so that a prompt that cannot sound still lets the recording start).
    qCWarning(lcPlayback) << "the render device did not start";
    state.setSourceLocked({});
    locker.unlock();
    reportOutput(device.fault());
    playbackFinished();
    return false;
}

void speaker::reportOutput(DeviceFault fault)
{
    m_hub->forwardMessage(u"AUDIOERROR"_s, audioErrorValue(u"output"_s, fault));
}

void speaker::deviceFailed(DeviceFault fault)
{
    {
        playbackState &state = playbackState::instance();
        std::lock_guard locker(state.lock());
        state.setSourceLocked({});
    }
    // The stop joins the ended render thread and reports the end of the
    // playback as any stop does.
    stopPlayback();
    reportOutput(fault);
}

void speaker::watchDevice()
{
    AudioOutput *device = playback::currentDevice();
    if (!device || !device->isRunning()) {
        m_deviceWatch.stop();
        return;
    }
    if (!device->isStuck())
        return;
    // The stop abandons the thread; the device's fault and end are posted
    // as for any device that fails while playing.
    qCWarning(lcPlayback) << "the render thread has not come back from the sound output; stopping it";
    m_deviceWatch.stop();
    device->stop();
}

void speaker::stopPlayback()
{
    AudioOutput *device = playback::currentDevice();
    if (device && device->isRunning())
        device->stop();
}

void speaker::playbackFinished()
{
    if (m_isSpeech)
        send(u"ISPLAYING"_s, false);
    else
        send(u"ISBIP"_s, true);
}

void speaker::send(const QString &tag, bool value)
{
    qCDebug(lcPlayback) << tag << value;
    m_hub->forwardMessage(tag, value);
}
