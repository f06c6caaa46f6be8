// A long run of the cloud client against the local service: many
// translations, recognitions and syntheses, a few at a time, each of which
// must end in its answer or in a message saying why not; resident memory,
// descriptors and threads of this process must stay flat after a warm-up.
// The service runs in processes of its own, as the application meets it,
// so that only the client is measured: one with the fixed engines for the
// bulk, one with the offline engines (where they are built) for a share of
// the translations and syntheses, switched to and back as the application
// does when the user changes service.
//
// Sizes from the environment (the defaults are the short run that ctest
// makes): TOLKA_SOAK_TRANSLATIONS, TOLKA_SOAK_RECOGNITIONS,
// TOLKA_SOAK_SYNTHESES, TOLKA_SOAK_OFFLINE (requests answered by the
// offline engines, besides the others), TOLKA_SOAK_WARMUP, TOLKA_SOAK_SEED.
#include "cloudfixture.h"
#include "processfigures.h"

#include "certificate.h"
#include "clientstate.h"
#include "serviceswitch.h"
#include "speechcache.h"
#include "tts.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonValue>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

enum class Kind
{
    Translation,
    Recognition,
    Synthesis,
    OfflineTranslation,
    OfflineSynthesis,
};
constexpr int kindCount = 5;

constexpr int inFlight = 8;        // requests outstanding at once
constexpr int offlineInFlight = 2; // the offline engines take whole processes
// With nothing answered for this long, the rest counts as lost.
constexpr int stallMs = 60000;
constexpr int pollMs = 1;
constexpr int serviceStartMs = 30000;
// Threads: Qt's pools start and retire workers as load comes and goes.
// Descriptors: a connection more or less.
constexpr int threadSlack = 3;
constexpr int fdSlack = 4;
// The heap run: its texts are numbered from here, after a warm-up of its
// own; a request may keep this much heap on average (a leak found here
// kept about 150 bytes a request).
constexpr qint64 heapRunNumbers = 100'000'000;
constexpr int heapWarmup = 200;
constexpr double heapPerRequestLimit = 32;

// The window's side: every message counted by tag and, for failures, by
// the service they name.
class CountingWindow : public QWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE void forwardMessage(const QString &tag, const QVariant &value)
    {
        if (tag == QLatin1String("TRAD")) {
            ++translated;
            const QString text = value.value<QJsonValue>().toString();
            // Echoed texts are known; the offline engine's are not.
            if (!echoed.remove(text))
                unmatched.insert(text);
        } else if (tag == QLatin1String("SPEECH")) {
            ++recognised;
        } else if (tag == QLatin1String("ERROR")) {
            ++errors[value.toMap().value(QStringLiteral("service")).toString()];
        } else if (tag == QLatin1String("WARNING")) {
            ++warnings;
        }
    }

    qint64 translated = 0;
    qint64 recognised = 0;
    qint64 warnings = 0;
    QHash<QString, qint64> errors;
    QSet<QString> echoed;    // echo translations still to come back
    QSet<QString> unmatched; // texts that came back but were not sent
};

// The local service in a process of its own, with the given engines and a
// shared TLS identity.
class ServiceProcess
{
public:
    bool start(const QString &engines, const QString &certificate, const QString &key, QString *error)
    {
        m_process.start(QStringLiteral(TOLKA_LOCALSERVICE),
                        {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet"),
                         QStringLiteral("--engines"), engines, QStringLiteral("--cert"), certificate,
                         QStringLiteral("--key"), key});
        QElapsedTimer waited;
        waited.start();
        while (m_origin.isEmpty() && !waited.hasExpired(serviceStartMs) &&
               m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(100);
            while (m_process.canReadLine()) {
                const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
                if (line.startsWith(QLatin1String("listening on ")))
                    m_origin = line.mid(13);
            }
        }
        if (m_origin.isEmpty())
            *error = QStringLiteral("the %1 service did not start: %2")
                         .arg(engines, QString::fromUtf8(m_process.readAllStandardError()));
        return !m_origin.isEmpty();
    }
    ~ServiceProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    [[nodiscard]] QUrl origin() const { return QUrl(m_origin); }
    [[nodiscard]] qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
    QString m_origin;
};

const char *kindName(Kind kind)
{
    switch (kind) {
    case Kind::Translation:
        return "translations (fixed engine)";
    case Kind::Recognition:
        return "recognitions (fixed engine)";
    case Kind::Synthesis:
        return "syntheses (fixed engine)";
    case Kind::OfflineTranslation:
        return "translations (offline engine)";
    case Kind::OfflineSynthesis:
        return "syntheses (offline engine)";
    }
    return "?";
}

} // namespace

class ClientSoak : public QObject
{
    Q_OBJECT
    // Made first, so that the hub takes it for the main window.
    CountingWindow window;
    QTemporaryDir folder;
    ServiceProcess fixedService;
    std::unique_ptr<ServiceProcess> offlineService;
    SpeechSink speech;
    tts client;
    QList<QByteArray> recordings;
    std::array<qint64, kindCount> issued{};
    qint64 syntheses = 0; // replies counted and dropped from the sink

    void issue(Kind kind, qint64 number)
    {
        ++issued[size_t(kind)];
        const bool offline = kind == Kind::OfflineTranslation || kind == Kind::OfflineSynthesis;
        client.setSpeechLanguage(offline ? "es-ES" : "fr-FR");
        const QByteArray text = "Soak sentence number " + QByteArray::number(number) + ", please.";
        switch (kind) {
        case Kind::Translation:
            window.echoed.insert(QString::fromUtf8(text));
            client.ttrad(text);
            break;
        case Kind::OfflineTranslation:
            client.ttrad("Good morning, my friends. Sentence " + QByteArray::number(number) + ".");
            break;
        case Kind::Recognition:
            client.onRecording(recordings.at(number % recordings.size()));
            break;
        case Kind::Synthesis:
            client.tvoice(text, "fr-FR-DeniseNeural");
            break;
        case Kind::OfflineSynthesis:
            client.tvoice("Buenos dias " + QByteArray::number(number), "es-ES-ElviraNeural");
            break;
        }
    }

    [[nodiscard]] qint64 synthesisReplies() const { return syntheses + speech.received.size(); }

    [[nodiscard]] qint64 translationsSettled() const
    {
        return window.translated + window.errors.value(QStringLiteral("translation"));
    }
    [[nodiscard]] qint64 synthesesSettled() const
    {
        return synthesisReplies() + window.errors.value(QStringLiteral("synthesis"));
    }

    // Answers and failure messages of each kind so far. Offline and fixed
    // requests of one operation answer alike, but the offline ones are out
    // alone: whatever comes during their block is theirs.
    [[nodiscard]] std::array<qint64, kindCount> settled() const
    {
        std::array<qint64, kindCount> s{};
        const qint64 offlineT =
            offlineTranslations + (offlineBlockOpen ? translationsSettled() - blockStartT : 0);
        const qint64 offlineS = offlineSyntheses + (offlineBlockOpen ? synthesesSettled() - blockStartS : 0);
        s[size_t(Kind::OfflineTranslation)] = offlineT;
        s[size_t(Kind::Translation)] = translationsSettled() - offlineT;
        s[size_t(Kind::OfflineSynthesis)] = offlineS;
        s[size_t(Kind::Synthesis)] = synthesesSettled() - offlineS;
        s[size_t(Kind::Recognition)] = window.recognised + window.errors.value(QStringLiteral("recognition"));
        return s;
    }
    qint64 offlineTranslations = 0; // settled in closed blocks
    qint64 offlineSyntheses = 0;
    bool offlineBlockOpen = false;
    qint64 blockStartT = 0;
    qint64 blockStartS = 0;

    [[nodiscard]] qint64 outstanding() const
    {
        qint64 n = 0;
        const auto s = settled();
        for (int k = 0; k < kindCount; ++k)
            n += issued[size_t(k)] - s[size_t(k)];
        // Warnings (the retry gate giving up) name no request.
        return n - window.warnings;
    }

    // Runs the event loop until fewer than `below` requests are
    // outstanding; false when nothing was answered for stallMs. A loop of
    // its own, as in the application: replies are freed by deferred
    // deletion, which processEvents alone leaves queued.
    bool waitBelow(qint64 below)
    {
        if (outstanding() < below)
            return true;
        QEventLoop loop;
        QElapsedTimer quiet;
        quiet.start();
        qint64 last = outstanding();
        bool stalled = false;
        QTimer poll;
        poll.setTimerType(Qt::PreciseTimer);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            const qint64 now = outstanding();
            if (now != last) {
                last = now;
                quiet.restart();
            } else if (quiet.hasExpired(stallMs)) {
                stalled = true;
            }
            // The audio of each reply is counted, not kept.
            if (speech.received.size() > 64) {
                syntheses += speech.received.size();
                speech.received.clear();
            }
            if (now < below || stalled)
                loop.quit();
        });
        poll.start(pollMs);
        loop.exec();
        return !stalled;
    }

    // A block of offline requests, alone, on the offline service; then
    // back to the fixed one.
    bool offlineBlock(qint64 translations, qint64 synthesisCount, qint64 &number)
    {
        if (!offlineService || translations + synthesisCount == 0)
            return true;
        if (!waitBelow(1))
            return false;
        using namespace tolka::cloud;
        useService(currentCredentials(), offlineService->origin());
        offlineBlockOpen = true;
        blockStartT = translationsSettled();
        blockStartS = synthesesSettled();
        bool ok = true;
        for (qint64 i = 0; i < translations + synthesisCount && ok; ++i) {
            ok = waitBelow(offlineInFlight);
            issue(i < translations ? Kind::OfflineTranslation : Kind::OfflineSynthesis, number++);
        }
        ok = waitBelow(1) && ok;
        offlineTranslations += translationsSettled() - blockStartT;
        offlineSyntheses += synthesesSettled() - blockStartS;
        offlineBlockOpen = false;
        useService(currentCredentials(), fixedService.origin());
        return ok;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        QString error;
        const std::optional<TlsIdentity> identity = generateIdentity(folder.path(), &error);
        QVERIFY2(identity, qPrintable(error));
        const QString key = folder.filePath(QStringLiteral("key.pem"));
        QVERIFY2(fixedService.start(QStringLiteral("fixed"), identity->caPath, key, &error),
                 qPrintable(error));
#ifdef TOLKA_SOAK_OFFLINE_ENGINES
        offlineService = std::make_unique<ServiceProcess>();
        QVERIFY2(offlineService->start(QStringLiteral("offline"), identity->caPath, key, &error),
                 qPrintable(error));
#endif
        qputenv("TOLKA_CLOUD_ORIGIN", fixedService.origin().toString().toUtf8());
        qputenv("TOLKA_CLOUD_CA_FILE", identity->caPath.toUtf8());
        tts::configSSL();
        client.init();
        tolka::cloud::clientState().speechCache =
            std::make_unique<tolka::cloud::SpeechCache>(folder.filePath(QStringLiteral("speech")));
        speech.connectToHub();
        client.setFastTranscribe("en-US");
        for (int seed = 0; seed < 4; ++seed)
            recordings.append(oggOpusRecording(seed, 300 + 100 * seed));
    }

    void everyRequestIsAnsweredAndNothingGrows()
    {
        const qint64 translations = soakSize("TOLKA_SOAK_TRANSLATIONS", 1000);
        const qint64 recognitionCount = soakSize("TOLKA_SOAK_RECOGNITIONS", 100);
        const qint64 synthesisCount = soakSize("TOLKA_SOAK_SYNTHESES", 100);
        const qint64 offline = offlineService ? soakSize("TOLKA_SOAK_OFFLINE", 8) : 0;
        const qint64 warmup = soakSize("TOLKA_SOAK_WARMUP", 300);
        const quint32 seed =
            quint32(soakSize("TOLKA_SOAK_SEED", QRandomGenerator::global()->bounded(1u << 30)));

        // The bulk in a shuffled order, but the first of each kind first, so
        // that the warm-up has met every path before the first sample.
        QList<Kind> plan;
        plan.append(QList<Kind>(translations, Kind::Translation));
        plan.append(QList<Kind>(recognitionCount, Kind::Recognition));
        plan.append(QList<Kind>(synthesisCount, Kind::Synthesis));
        QRandomGenerator random(seed);
        std::shuffle(plan.begin(), plan.end(), random);
        for (const Kind kind : {Kind::Synthesis, Kind::Recognition, Kind::Translation}) {
            const auto first = std::ranges::find(plan, kind);
            if (first != plan.end())
                std::rotate(plan.begin(), first, first + 1);
        }
        const qint64 total = plan.size();
        QVERIFY2(total > warmup, "the warm-up takes every request");
        // Half of the offline requests end the warm-up (the offline
        // service's first connection is made there), half come between the
        // middle and the end; each half translates and speaks.
        const qint64 firstOffline = offline / 2;
        const qint64 secondOffline = offline - firstOffline;
        std::printf(
            "client soak: %lld requests to the fixed engines, %lld to the offline ones, the first %lld "
            "of them a warm-up; seed %u\n",
            qlonglong(total), qlonglong(offline), qlonglong(warmup), seed);
        std::fflush(stdout);

        QElapsedTimer clock;
        clock.start();
        QList<ProcessFigures> samples;
        QList<ProcessFigures> serviceSamples;
        const auto take = [&](const QString &when, qint64 done) {
            samples.append(ProcessFigures::sample(when, done, double(clock.elapsed()) / 1000));
            serviceSamples.append(
                ProcessFigures::sample(when, done, double(clock.elapsed()) / 1000, fixedService.pid()));
        };
        const qint64 middle = warmup + (total - warmup) / 2;
        const qint64 lastQuarter = middle + (total - middle) / 2;
        qint64 number = 0;
        bool ok = true;
        for (qint64 i = 0; i < total && ok; ++i) {
            if (i == warmup) {
                ok = offlineBlock(firstOffline - firstOffline / 2, firstOffline / 2, number) && waitBelow(1);
                take(QStringLiteral("start"), number);
            } else if (i == middle) {
                ok = waitBelow(1);
                take(QStringLiteral("middle"), number);
            } else if (i == lastQuarter) {
                ok = offlineBlock(secondOffline - secondOffline / 2, secondOffline / 2, number);
            }
            ok = ok && waitBelow(inFlight);
            issue(plan.at(i), number++);
        }
        ok = waitBelow(1) && ok;
        take(QStringLiteral("end"), number);

        const std::array<qint64, kindCount> answered = settled();
        std::printf("  %-30s %8s %14s %6s\n", "requests", "asked", "answer or msg", "lost");
        qint64 lost = 0;
        for (int k = 0; k < kindCount; ++k) {
            const qint64 kindLost = issued[size_t(k)] - answered[size_t(k)];
            lost += kindLost;
            std::printf("  %-30s %8lld %14lld %6lld\n", kindName(Kind(k)), qlonglong(issued[size_t(k)]),
                        qlonglong(answered[size_t(k)]), qlonglong(kindLost));
        }
        const auto errors = [&](const char *service) {
            return qlonglong(window.errors.value(QString::fromLatin1(service)));
        };
        std::printf("  answers: %lld translations, %lld recognitions, %lld syntheses; failure messages: "
                    "translation %lld, recognition %lld, synthesis %lld; retry-gate warnings %lld\n",
                    qlonglong(window.translated), qlonglong(window.recognised), qlonglong(synthesisReplies()),
                    errors("translation"), errors("recognition"), errors("synthesis"),
                    qlonglong(window.warnings));
        std::printf("  this process (the client):\n%s", qPrintable(figureTable(samples)));
        std::printf("  the fixed engines' service process (not judged here):\n%s",
                    qPrintable(figureTable(serviceSamples)));
        std::printf("  duration %.1f s\n", double(clock.elapsed()) / 1000);
        std::fflush(stdout);

        QVERIFY2(ok, "requests stopped being answered");
        QCOMPARE(lost, 0);
        QCOMPARE(window.warnings, 0);
        // Every echo came back once; only the offline engine's texts are new.
        QVERIFY2(window.echoed.isEmpty(), qPrintable(QStringList(window.echoed.values()).join(u'|')));
        QCOMPARE(qint64(window.unmatched.size()), issued[size_t(Kind::OfflineTranslation)]);
        for (const QString &text : std::as_const(window.unmatched))
            QVERIFY2(!text.startsWith(QLatin1String("Soak sentence")), qPrintable(text));
        FigureLimits limits;
        limits.fdSlack = fdSlack;
        limits.threadSlack = threadSlack;
        limits.checkRss = !underAddressSanitizer();
        const QString problems = figureProblems(samples, limits);
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    // Once warm, a request keeps nothing: the heap the allocator has handed
    // out stays where it was over a few thousand of them. Resident memory
    // hides a leak of a hundred bytes a request for a long time. Judged in
    // two halves: a leak grows both, while a one-off (a table of Qt's that
    // doubles, a buffer that grows once) lands in one of them.
    void requestsKeepNoHeap()
    {
        const qint64 count = soakSize("TOLKA_SOAK_HEAP_REQUESTS", 2000);
        qint64 number = heapRunNumbers; // texts of their own, apart from the soak's
        for (int i = 0; i < heapWarmup; ++i)
            issue(Kind::Translation, number++);
        QVERIFY(waitBelow(1));
        QElapsedTimer clock;
        clock.start();
        QList<ProcessFigures> samples{ProcessFigures::sample(QStringLiteral("start"), 0, 0)};
        for (qint64 i = 0; i < count; ++i) {
            if (i == count / 2) {
                QVERIFY(waitBelow(1));
                samples.append(ProcessFigures::sample(QStringLiteral("middle"), i, clock.elapsed() / 1000.0));
            }
            QVERIFY(waitBelow(inFlight));
            issue(Kind::Translation, number++);
        }
        QVERIFY(waitBelow(1));
        samples.append(ProcessFigures::sample(QStringLiteral("end"), count, clock.elapsed() / 1000.0));
        QVERIFY2(window.echoed.isEmpty(), "a translation did not come back");
        std::printf("  heap over %lld translations:\n%s", qlonglong(count), qPrintable(figureTable(samples)));
        std::fflush(stdout);
        FigureLimits limits;
        limits.fdSlack = fdSlack;
        limits.threadSlack = threadSlack;
        limits.checkRss = !underAddressSanitizer();
        limits.rssGrowth = 1; // judged by the heap here
        limits.heapPerRequest = heapPerRequestLimit;
        const QString firstHalf = figureProblems(samples.first(2), limits);
        const QString secondHalf = figureProblems(samples.last(2), limits);
        QVERIFY2(firstHalf.isEmpty() || secondHalf.isEmpty(),
                 qPrintable(firstHalf + QStringLiteral("; ") + secondHalf));
    }
};

QTEST_MAIN(ClientSoak)
#include "tst_clientsoak.moc"
