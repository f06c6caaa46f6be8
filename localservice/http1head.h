#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHttpHeaders>
#include <QUrl>

#include <optional>

#include "chunkedbody.h"

// The head of an HTTP/1.1 request: request line and header fields.
struct Http1Head
{
    QByteArray method;
    QUrl target; // path and query, as sent
    QByteArray version;
    QHttpHeaders headers;
    qsizetype size = 0; // bytes of the head, the blank line included

    [[nodiscard]] bool isChunked() const;
    [[nodiscard]] bool expectsContinue() const;
};

// The head at the start of `bytes`; nothing while it is incomplete or when
// it is not an HTTP/1.1 request head. `malformed` tells the two apart.
[[nodiscard]] std::optional<Http1Head> parseHttp1Head(QByteArrayView bytes, bool *malformed = nullptr);
