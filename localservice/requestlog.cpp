#include "requestlog.h"

#include <cstdio>

void RequestLog::append(const LoggedRequest &entry)
{
    m_entries.append(entry);
    if (!m_echo)
        return;
    const QString line = QStringLiteral("%1 %2 %3 %4?%5 body=%6 sha256=%7 key=%8 %9 %10 port=%11\n")
                             .arg(entry.arrival.toString(Qt::ISODateWithMs))
                             .arg(entry.status)
                             .arg(QString::fromLatin1(entry.method), entry.path, entry.query)
                             .arg(entry.bodyLength)
                             .arg(QString::fromLatin1(entry.bodySha256),
                                  entry.keyRole.isEmpty() ? QStringLiteral("none") : entry.keyRole,
                                  entry.tlsProtocol, QString::fromLatin1(entry.alpn))
                             .arg(entry.clientPort);
    std::fputs(line.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

QList<LoggedRequest> RequestLog::entries(Operation operation) const
{
    QList<LoggedRequest> matching;
    for (const LoggedRequest &entry : m_entries) {
        if (entry.operation == operation)
            matching.append(entry);
    }
    return matching;
}
