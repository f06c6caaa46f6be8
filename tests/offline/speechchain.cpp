#include "speechchain.h"

#include "input.h"
#include "messenger.h"
#include "offlineengines.h"
#include "output.h"
#include "tts.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonValue>
#include <QTest>
#include <QWindow>

// Plays the main window's part in the chain: records each message with its
// arrival time and, like the window, translates what was recognised and
// speaks what was translated.
class ChainWindow : public QWindow
{
    Q_OBJECT
public:
    struct Arrival
    {
        QString text;
        SpeechChain::Clock::time_point at;
    };

    Q_INVOKABLE void forwardMessage(const QString &tag, const QVariant &value)
    {
        const auto now = SpeechChain::Clock::now();
        const QString text = value.value<QJsonValue>().toString();
        if (tag == u"SPEECH") {
            recognised = Arrival{text, now};
            if (!text.isEmpty())
                tts().ttrad(text.toUtf8());
        } else if (tag == u"TRAD") {
            translated = Arrival{text, now};
            tts().tvoice(text.toUtf8(), voice);
        } else if (tag == u"ISPLAYING" && !value.toBool() && translated) {
            playbackEnded = true;
        } else if (tag == u"WARNING" || tag == u"ERROR") {
            warned = true;
        }
    }

    void clear()
    {
        recognised.reset();
        translated.reset();
        playbackEnded = false;
        warned = false;
    }

    QByteArray voice;
    std::optional<Arrival> recognised;
    std::optional<Arrival> translated;
    bool playbackEnded = false;
    bool warned = false;
};

namespace {
double msBetween(SpeechChain::Clock::time_point from, SpeechChain::Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}
} // namespace

SpeechChain::SpeechChain() = default;
// Members go in reverse order: the microphone stops feeding before the
// folder holding its FIFO is removed.
SpeechChain::~SpeechChain() = default;

bool SpeechChain::start(QString *error)
{
    if (!m_folder.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString renderFile = m_folder.filePath(QStringLiteral("rendered.raw"));
    m_microphone = std::make_unique<FifoMicrophone>(m_folder.filePath(QStringLiteral("microphone.fifo")));
    if (!m_microphone->start()) {
        *error = QStringLiteral("cannot make the microphone FIFO");
        return false;
    }
    qputenv("TOLKA_MIC_FILE", QFile::encodeName(m_microphone->path()));
    qputenv("TOLKA_RENDER_FILE", QFile::encodeName(renderFile));
    qputenv("ALSA_CONFIG_PATH", QByteArray("/usr/share/alsa/alsa.conf:" TOLKA_FILE_DEVICES));
    m_render = std::make_unique<RenderWatch>(renderFile);

    // The window must exist before the first message looks for it.
    m_window = std::make_unique<ChainWindow>();
    if (!m_fixture.start(error))
        return false;
    offlineengines::install(m_fixture.service());

    const std::shared_ptr<messenger> hub = messenger::instance();
    hub->recordingReady.connect(this, &SpeechChain::recordingReady);
    hub->speechReady.connect(this, &SpeechChain::speechReady);
    hub->speechPieceReady.connect(this, &SpeechChain::speechPieceReady);
    input().init();
    output().init(1.0, 0.5);
    return true;
}

void SpeechChain::recordingReady(const QByteArray &)
{
    m_recorded = Clock::now();
}

void SpeechChain::speechReady(const QByteArray &)
{
    m_spoken = Clock::now();
}

// The speech is there when its first piece is: it plays from then on.
void SpeechChain::speechPieceReady(const SpeechPiece &piece)
{
    if (piece.index == 0)
        m_spoken = Clock::now();
}

SpeechChain::Outcome SpeechChain::run(const QByteArray &pcm, const QByteArray &from, const QByteArray &to,
                                      const QByteArray &voice, int timeoutMs)
{
    Outcome outcome;
    const QDeadlineTimer deadline(timeoutMs);
    const auto fail = [&](const char *stage) {
        outcome.error = QStringLiteral("no %1 within %2 ms").arg(QLatin1String(stage)).arg(timeoutMs);
        if (m_window->warned)
            outcome.error += QStringLiteral(" (the client warned)");
        return outcome;
    };
    const auto waitFor = [&](const auto &done) {
        while (!done() && !deadline.hasExpired())
            QTest::qWait(1);
        return done();
    };

    m_window->clear();
    m_window->voice = voice;
    m_recorded.reset();
    m_spoken.reset();
    tts client;
    client.setFastTranscribe(from);
    client.setSpeechLanguage(to);

    // The button is pressed, the user speaks, and releases at the end.
    input recorder;
    recorder.vstart(true);
    m_microphone->speak(pcm);
    if (!waitFor([&] { return m_microphone->speechEnded().has_value(); }))
        return fail("end of speech");
    const Clock::time_point speechEnd = *m_microphone->speechEnded();
    m_render->mark();
    recorder.vstop(true);

    if (!waitFor([&] { return m_recorded.has_value(); }))
        return fail("recording");
    if (!waitFor([&] { return m_window->recognised.has_value(); }))
        return fail("recognition");
    outcome.recognised = m_window->recognised->text;
    if (outcome.recognised.isEmpty()) {
        outcome.error = QStringLiteral("nothing was recognised");
        return outcome;
    }
    if (!waitFor([&] { return m_window->translated.has_value(); }))
        return fail("translation");
    outcome.translated = m_window->translated->text;
    if (!waitFor([&] { return m_spoken.has_value(); }))
        return fail("speech");
    if (!waitFor([&] { return m_render->firstLoud().has_value(); }))
        return fail("rendered sound");
    if (!waitFor([&] { return m_window->playbackEnded; }))
        return fail("end of playback");
    QTest::qWait(20); // the watch reads the file every millisecond

    outcome.ms.tail = msBetween(speechEnd, *m_recorded);
    outcome.ms.recognition = msBetween(*m_recorded, m_window->recognised->at);
    outcome.ms.translation = msBetween(m_window->recognised->at, m_window->translated->at);
    outcome.ms.synthesis = msBetween(m_window->translated->at, *m_spoken);
    outcome.ms.playbackStart = msBetween(*m_spoken, *m_render->firstLoud());
    outcome.rendered = m_render->samplesSinceMark();
    return outcome;
}

#include "speechchain.moc"
