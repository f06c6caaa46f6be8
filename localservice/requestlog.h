#pragma once

#include "replyscript.h"

#include <QByteArray>
#include <QDateTime>
#include <QHttpHeaders>
#include <QList>
#include <QString>

#include <chrono>

// One request as the service saw it.
struct LoggedRequest
{
    // Texts and documents are kept whole; recordings are known by hash.
    static constexpr qsizetype keptBodySize = 64 * 1024;

    QDateTime arrival;
    std::chrono::steady_clock::time_point received; // the same moment, for measuring
    QByteArray method;
    QString path;
    QString query;
    QHttpHeaders headers;
    qint64 bodyLength = 0;
    QByteArray bodySha256;  // hex
    QByteArray body;        // the body itself when at most keptBodySize bytes
    quint16 clientPort = 0; // tells the client's connections apart
    QString tlsProtocol;    // "TLSv1.3", ...
    QByteArray alpn;        // "h2", "http/1.1" or empty
    std::optional<Operation> operation;
    QString keyRole; // which configured key was presented, if any
    int status = 0;  // status answered (0 when the connection was dropped)

    // A body that streamed in (HTTP/1.1, chunked): when each piece came, in
    // milliseconds after the head, and how much of the body the engine had
    // worked through when its last piece came.
    struct Piece
    {
        qint64 atMs = 0;
        qint64 bytes = 0;
    };
    bool streamed = false;
    QList<Piece> pieces;
    qint64 bytesWorkedBeforeEnd = 0;
};

// The service's request log. Also printed one line per request (keys by
// role only) when echo is on.
class RequestLog
{
public:
    void append(const LoggedRequest &entry);
    void setEcho(bool echo) { m_echo = echo; }
    [[nodiscard]] const QList<LoggedRequest> &entries() const { return m_entries; }
    [[nodiscard]] QList<LoggedRequest> entries(Operation operation) const;
    void clear() { m_entries.clear(); }

private:
    QList<LoggedRequest> m_entries;
    bool m_echo = false;
};
