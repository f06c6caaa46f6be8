#include "input.h"

#include "messenger.h"
#include "workerthread.h"

void input::init()
{
    m_hub = messenger::instance();
    m_worker = workerThread();
}
