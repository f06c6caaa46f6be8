#pragma once

#include <QMetaType>

#include <memory>

class messenger;

// The cloud client handed to QML as "tts". A value type: copies share the hub.
class tts
{
    Q_GADGET
public:
    Q_INVOKABLE void init();

    [[nodiscard]] const std::shared_ptr<messenger> &hub() const { return m_hub; }

private:
    std::shared_ptr<messenger> m_hub;
};
