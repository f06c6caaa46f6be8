#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Reads an HTTP/1.1 chunked body as it arrives: each call takes the next
// bytes and returns the data they complete; done() once the last chunk and
// its trailer have come, failed() when the framing is wrong.
class ChunkedBodyReader
{
public:
    [[nodiscard]] QByteArray take(QByteArrayView bytes);
    [[nodiscard]] bool done() const { return m_state == State::Done; }
    [[nodiscard]] bool failed() const { return m_state == State::Failed; }
    // Bytes given after the end of the body (the next message's).
    [[nodiscard]] const QByteArray &rest() const { return m_pending; }

private:
    enum class State
    {
        Size,
        Data,
        DataEnd,
        Trailer,
        Done,
        Failed
    };
    QByteArray m_pending;
    qint64 m_left = 0;
    State m_state = State::Size;
};

// Frames one chunk of a chunked body; an empty piece makes the last chunk.
[[nodiscard]] QByteArray chunkOf(QByteArrayView piece);
