#include "firstframegate.h"

#include "applogging.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <utility>

namespace tolka {

namespace {

class Gate final : public QObject
{
    Q_OBJECT
public:
    explicit Gate(QObject *parent) : QObject(parent)
    {
        m_limit.setSingleShot(true);
        connect(&m_limit, &QTimer::timeout, this, [this] {
            qCInfo(lcApp) << "no first frame in time; held-back work runs now";
            open();
        });
    }

    void close(std::chrono::milliseconds limit)
    {
        m_open = false;
        m_limit.start(limit);
    }

    void open()
    {
        m_limit.stop();
        if (std::exchange(m_open, true))
            return;
        emit opened();
    }

    [[nodiscard]] bool isOpen() const { return m_open; }

signals:
    void opened();

private:
    bool m_open = true;
    QTimer m_limit;
};

// Owned by the application object; without one, or before start-up closes
// it, there is no gate and nothing waits.
QPointer<Gate> &currentGate()
{
    static QPointer<Gate> gate;
    return gate;
}

} // namespace

void closeFirstFrameGate(std::chrono::milliseconds limit)
{
    QPointer<Gate> &gate = currentGate();
    if (!gate) {
        QCoreApplication *app = QCoreApplication::instance();
        if (!app)
            return;
        gate = new Gate(app);
    }
    gate->close(limit);
}

void openFirstFrameGate()
{
    if (Gate *gate = currentGate())
        gate->open();
}

bool firstFrameGateOpen()
{
    const Gate *gate = currentGate();
    return !gate || gate->isOpen();
}

void afterFirstFrame(QObject *context, std::function<void()> work)
{
    Gate *gate = currentGate();
    if (!gate || gate->isOpen()) {
        work();
        return;
    }
    QObject::connect(gate, &Gate::opened, context, std::move(work), Qt::SingleShotConnection);
}

} // namespace tolka

#include "firstframegate.moc"
