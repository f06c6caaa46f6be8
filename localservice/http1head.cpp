#include "http1head.h"

namespace {
constexpr qsizetype maxHeadSize = 64 * 1024;
} // namespace

bool Http1Head::isChunked() const
{
    return headers.combinedValue(QHttpHeaders::WellKnownHeader::TransferEncoding).trimmed().toLower() ==
           "chunked";
}

bool Http1Head::expectsContinue() const
{
    return headers.combinedValue(QHttpHeaders::WellKnownHeader::Expect).trimmed().toLower() == "100-continue";
}

std::optional<Http1Head> parseHttp1Head(QByteArrayView bytes, bool *malformed)
{
    if (malformed)
        *malformed = false;
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0) {
        if (malformed)
            *malformed = bytes.size() > maxHeadSize;
        return std::nullopt;
    }
    QList<QByteArray> lines;
    for (qsizetype at = 0; at <= end;) {
        qsizetype eol = bytes.indexOf("\r\n", at);
        if (eol < 0 || eol > end)
            eol = end;
        lines.append(bytes.sliced(at, eol - at).toByteArray());
        at = eol + 2;
    }
    const QList<QByteArray> request = lines.first().split(' ');
    if (request.size() != 3 || !request[2].startsWith("HTTP/1.")) {
        if (malformed)
            *malformed = true;
        return std::nullopt;
    }
    Http1Head head;
    head.method = request[0];
    head.target = QUrl::fromEncoded(request[1]);
    head.version = request[2];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0 ||
            !head.headers.append(lines[i].first(colon).trimmed(), lines[i].sliced(colon + 1).trimmed())) {
            if (malformed)
                *malformed = true;
            return std::nullopt;
        }
    }
    head.size = end + 4;
    return head;
}
