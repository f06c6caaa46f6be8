// Start-up figures, run by hand (not part of the test suite): the time from
// exec to the first frame on screen of Tolka and of a minimal window of the
// same style (startup_minimal), started alternately (A B A B ...), their
// medians and ratio, and the frames each draws after the first while it is
// left alone (all of them, and those more than 100 ms after the first). Both programs stamp their frames
// through TOLKA_FRAME_PROBE (app/frameprobe.h) and quit by themselves after the idle time.
//
//   bench_startup [--runs N] [--idle MS]
//
// The display is the caller's (DISPLAY, QT_QPA_PLATFORM), for example
//   xvfb-run -a -s '-screen 0 1024x800x24' build/default/bench/startup/bench_startup
//   QT_QPA_PLATFORM=offscreen build/default/bench/startup/bench_startup
// Settings and caches live in a folder of the run; each program starts once
// before the measured runs, so that they are not first starts.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Frames this long after the first are no longer the window settling (its
// second expose, its activation) but drawing while idle.
constexpr double lateMs = 100;

struct Run
{
    double shownMs = 0; // the window is about to be shown
    double firstFrameMs = 0;
    int framesAfter = 0; // within the idle time after the first
    int lateFrames = 0;  // of those, more than lateMs after the first
    double lastFrameMs = 0;
};

struct Program
{
    const char *name;
    QString path;
    std::vector<Run> runs;
};

// A numbered card in /proc/asound/cards, as tools/run-window asks.
bool hasSoundCard()
{
    QFile cards(QStringLiteral("/proc/asound/cards"));
    if (!cards.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : cards.readAll().split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.isEmpty() && std::isdigit(static_cast<unsigned char>(text.front())))
            return true;
    }
    return false;
}

QProcessEnvironment childEnvironment(const QTemporaryDir &home, int idleMs)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOLKA_FRAME_PROBE"), QString::number(idleMs));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    // Without sound hardware the default device is made of files, as for
    // tools/dev run: a missing device would show a notice and draw it.
    if (!hasSoundCard() && !env.contains(QStringLiteral("ALSA_CONFIG_PATH")))
        env.insert(QStringLiteral("ALSA_CONFIG_PATH"),
                   QStringLiteral("/usr/share/alsa/alsa.conf:" TOLKA_SOUND_FILES));
    return env;
}

std::optional<Run> runOnce(const Program &program, const QProcessEnvironment &env, int idleMs)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardOutputFile(QProcess::nullDevice());
    const auto started = Clock::now();
    process.start(program.path, {});
    if (!process.waitForStarted(10000)) {
        std::fprintf(stderr, "%s does not start: %s\n", program.name, qPrintable(process.errorString()));
        return std::nullopt;
    }
    // The program quits by itself idleMs after its first frame.
    if (!process.waitForFinished(idleMs + 30000)) {
        process.kill();
        process.waitForFinished(5000);
        std::fprintf(stderr, "%s did not quit in time\n", program.name);
        return std::nullopt;
    }
    const qint64 startNs = std::chrono::nanoseconds(started.time_since_epoch()).count();
    std::optional<double> shown;
    std::vector<double> frames;
    for (const QByteArray &line : process.readAllStandardError().split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.size() != 3 || fields[0] != "tolka-frame")
            continue;
        const double ms = double(fields[2].toLongLong() - startNs) / 1e6;
        if (fields[1] == "0")
            shown = ms;
        else
            frames.push_back(ms);
    }
    if (frames.empty() || !shown) {
        std::fprintf(stderr, "%s drew no frame (exit code %d)\n", program.name, process.exitCode());
        return std::nullopt;
    }
    Run run{*shown, frames.front(), 0, 0, frames.front()};
    for (std::size_t i = 1; i < frames.size(); ++i) {
        const double sinceFirst = frames[i] - frames.front();
        if (sinceFirst > idleMs)
            break;
        ++run.framesAfter;
        run.lateFrames += sinceFirst > lateMs ? 1 : 0;
        run.lastFrameMs = frames[i];
    }
    return run;
}

template <typename T> double median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? double(values[n / 2]) : (double(values[n / 2 - 1]) + double(values[n / 2])) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int runs = 10;
    int idleMs = 2000;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--runs")
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == u"--idle")
            idleMs = std::max(100, args[i + 1].toInt());
    }
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QProcessEnvironment env = childEnvironment(home, idleMs);
    std::vector<Program> programs{{"tolka", QStringLiteral(TOLKA_APP), {}},
                                  {"minimal", QStringLiteral(TOLKA_MINIMAL), {}}};
    std::printf("platform %s, %d runs each, interleaved, %d ms idle\n",
                qPrintable(env.value(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("default"))), runs,
                idleMs);
    for (Program &program : programs) {
        if (!runOnce(program, env, idleMs))
            return 1;
    }
    std::printf("%4s %-8s %10s %12s %14s %8s %12s\n", "run", "program", "shown (ms)", "first (ms)",
                "frames after", "late", "last (ms)");
    for (int i = 0; i < runs; ++i) {
        for (Program &program : programs) {
            const std::optional<Run> run = runOnce(program, env, idleMs);
            if (!run)
                return 1;
            program.runs.push_back(*run);
            std::printf("%4d %-8s %10.1f %12.1f %14d %8d %12.1f\n", i + 1, program.name, run->shownMs,
                        run->firstFrameMs, run->framesAfter, run->lateFrames, run->lastFrameMs);
        }
    }
    std::vector<double> firsts[2];
    for (int p = 0; p < 2; ++p) {
        std::vector<int> after;
        std::vector<int> late;
        std::vector<double> shown;
        std::vector<double> last;
        for (const Run &run : programs[p].runs) {
            shown.push_back(run.shownMs);
            firsts[p].push_back(run.firstFrameMs);
            after.push_back(run.framesAfter);
            late.push_back(run.lateFrames);
            last.push_back(run.lastFrameMs);
        }
        std::printf(
            "%-8s medians: shown %.1f ms, first frame %.1f ms, frames after it %.1f (max %d), more than "
            "%.0f ms after it %.1f (max %d), last frame %.1f ms\n",
            programs[p].name, median(shown), median(firsts[p]), median(after),
            *std::max_element(after.begin(), after.end()), lateMs, median(late),
            *std::max_element(late.begin(), late.end()), median(last));
    }
    std::printf("ratio tolka / minimal (medians): %.2f\n", median(firsts[0]) / median(firsts[1]));
    return 0;
}
