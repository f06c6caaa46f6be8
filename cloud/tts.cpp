#include "tts.h"

#include "messenger.h"

void tts::init()
{
    if (!m_hub)
        m_hub = messenger::instance();
}
