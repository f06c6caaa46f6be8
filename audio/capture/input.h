#pragma once

#include <QMetaType>

#include <memory>

class messenger;
class QThread;

// The recorder front end handed to QML as "recorder". A value type: copies
// share the hub and the worker thread.
class input
{
    Q_GADGET
public:
    Q_INVOKABLE void init();

    [[nodiscard]] const std::shared_ptr<messenger> &hub() const { return m_hub; }
    [[nodiscard]] const std::shared_ptr<QThread> &worker() const { return m_worker; }

private:
    std::shared_ptr<messenger> m_hub;
    std::shared_ptr<QThread> m_worker;
};
