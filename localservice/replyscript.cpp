#include "replyscript.h"

#include <QJsonDocument>
#include <QJsonObject>

ScriptedReply ScriptedReply::recognition(const QByteArray &status, const QByteArray &text)
{
    QJsonObject reply{{QStringLiteral("RecognitionStatus"), QString::fromUtf8(status)},
                      {QStringLiteral("Offset"), 0},
                      {QStringLiteral("Duration"), 0}};
    if (!text.isEmpty())
        reply.insert(QStringLiteral("DisplayText"), QString::fromUtf8(text));
    return withBody(200, QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

std::optional<ScriptedReply> ReplyScript::take(Operation operation)
{
    auto it = m_queues.find(operation);
    if (it == m_queues.end() || it->isEmpty())
        return std::nullopt;
    return it->dequeue();
}
