#include "replyscript.h"

std::optional<ScriptedReply> ReplyScript::take(Operation operation)
{
    auto it = m_queues.find(operation);
    if (it == m_queues.end() || it->isEmpty())
        return std::nullopt;
    return it->dequeue();
}
