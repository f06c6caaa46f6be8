#pragma once

#include "cloudfixture.h"
#include "faultproxy.h"

#include <QSslConfiguration>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

// The fault matrix's bench: the real client, over real loopback TLS, to the
// local service through a fault proxy, with a short transfer timeout. It
// drives one service the way the window does and reads back what the
// service's log and the interface saw.
namespace faultmatrix {

using namespace std::chrono_literals;

// The client's transfer timeout during the matrix, and how long slow
// responses are held back: well past it, yet over before a resend's answer
// would be held too (a resend follows the timeout by 200 ms).
inline constexpr auto timeout = 600ms;
inline constexpr auto stall = timeout + 150ms;

// Recognition as the window sends it while the user speaks (HTTP/1.1,
// chunked, its own connection), or whole (HTTP/2), as when streaming is off
// and for every resend.
enum class Target
{
    Translation,
    StreamedRecognition,
    WholeRecognition,
    Synthesis
};

enum class Trouble
{
    None,
    Refused,
    OldTls, // the server offers TLS 1.2 only; the client asks for 1.3
    Untrusted,
    Expired,
};

// What one row expects.
struct Outcome
{
    int sends = 0;        // that reached the service
    QString keys;         // one letter a send: P primary, B backup
    qint64 waitMs = -1;   // at least this long between the ends of the first two sends
    QStringList trace;    // the interface's messages (see FaultBench::trace)
    bool partial = false; // synthesis: audio handed on before the fault was kept
};

class FaultBench
{
public:
    bool start(QString *error);
    // Before each row: nothing counted, primary keys, no connection pooled.
    void reset();

    CloudFixture &fixture() { return m_fixture; }
    FaultProxy &proxy() { return *m_proxy; }
    MessageWindow &window() { return m_window; }

    // Sets up a connection-level trouble for the next request.
    void prepare(Trouble trouble);
    // Sends one request of target; returns when its episode has ended: the
    // result, a told failure that is not resent, or the gate's warning.
    bool run(Target target);
    // Checks the episode against expected; false with why in error.
    bool check(Target target, const Outcome &expected, QString *error);
    // A normal request of target after the episode: answered, by one send.
    bool recovers(Target target, QString *error);

    // The interface's messages in short: "BUSY:true", "WARNING:false",
    // "ERROR:<failure>:<status>[:wait<ms>]", "TRAD", "SPEECH".
    [[nodiscard]] QStringList trace() const;

private:
    void speak(const QByteArray &recording, bool streamed, Trouble trouble);
    [[nodiscard]] bool ended(Target target) const;
    [[nodiscard]] QString keys() const;
    [[nodiscard]] qint64 firstWait() const;
    [[nodiscard]] const QList<LoggedRequest> &sendsSeen() const
    {
        return const_cast<CloudFixture &>(m_fixture).service().log().entries();
    }

    CloudFixture m_fixture;
    MessageWindow m_window;
    SpeechSink m_sink;
    std::unique_ptr<FaultProxy> m_proxy;
    QTemporaryDir m_folder;
    QSslConfiguration m_untrusted;
    QSslConfiguration m_expired;
    QSslConfiguration m_oldTls;
    Trouble m_trouble = Trouble::None;
    int m_seed = 0;
};

} // namespace faultmatrix
