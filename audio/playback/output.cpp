#include "output.h"

#include "workerthread.h"

void output::init()
{
    m_worker = workerThread();
}
