#pragma once

#include <QMetaType>

#include <memory>

class QThread;

// The player front end handed to QML as "player". A value type: copies share
// the worker thread.
class output
{
    Q_GADGET
public:
    Q_INVOKABLE void init();

    [[nodiscard]] const std::shared_ptr<QThread> &worker() const { return m_worker; }

private:
    std::shared_ptr<QThread> m_worker;
};
