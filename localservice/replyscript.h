#pragma once

#include <QByteArray>
#include <QHash>
#include <QHttpHeaders>
#include <QQueue>

#include <chrono>
#include <optional>

enum class Operation
{
    Translation,
    Recognition,
    Synthesis,
    VoiceList // GET: the voices of the synthesis service
};

// One scripted answer. Without a body the operation's normal answer is sent
// with the given status.
struct ScriptedReply
{
    int status = 200;
    std::optional<QByteArray> body;
    // Empty: the type the operation answers with (audio for a synthesis
    // that succeeds, JSON otherwise), as the real services label them.
    QByteArray contentType;
    QHttpHeaders headers; // sent besides the content type, e.g. Retry-After
    std::chrono::milliseconds delay{0};
    bool dropConnection = false;
    bool held = false; // answered only when the service releases held replies
    // For audio sent in pieces: the connection breaks after this many.
    int dropAfterPieces = -1;
    // Audio answered whole, with its length, instead of in pieces.
    bool whole = false;

    [[nodiscard]] static ScriptedReply withStatus(int code)
    {
        ScriptedReply r;
        r.status = code;
        return r;
    }
    [[nodiscard]] static ScriptedReply withBody(int code, const QByteArray &content)
    {
        ScriptedReply r = withStatus(code);
        r.body = content;
        return r;
    }
    [[nodiscard]] static ScriptedReply withRetryAfter(int code, const QByteArray &retryAfter)
    {
        ScriptedReply r = withStatus(code);
        r.headers.append(QHttpHeaders::WellKnownHeader::RetryAfter, retryAfter);
        return r;
    }
    // A short-audio recognition reply with the given RecognitionStatus
    // ("Success", "NoMatch", "InitialSilenceTimeout", "BabbleTimeout",
    // "Error"); the text goes into DisplayText when given.
    [[nodiscard]] static ScriptedReply recognition(const QByteArray &status, const QByteArray &text = {});
    [[nodiscard]] static ScriptedReply delayed(std::chrono::milliseconds wait)
    {
        ScriptedReply r;
        r.delay = wait;
        return r;
    }
    [[nodiscard]] static ScriptedReply heldWithStatus(int code)
    {
        ScriptedReply r = withStatus(code);
        r.held = true;
        return r;
    }
    [[nodiscard]] static ScriptedReply droppedAfterPieces(int pieces)
    {
        ScriptedReply r;
        r.dropAfterPieces = pieces;
        return r;
    }
    [[nodiscard]] static ScriptedReply dropped()
    {
        ScriptedReply r;
        r.dropConnection = true;
        return r;
    }
};

// Per-operation queues of scripted answers; an empty queue means normal
// service.
class ReplyScript
{
public:
    void push(Operation operation, const ScriptedReply &reply) { m_queues[operation].enqueue(reply); }
    void clear() { m_queues.clear(); }
    [[nodiscard]] std::optional<ScriptedReply> take(Operation operation);
    [[nodiscard]] qsizetype pending(Operation operation) const { return m_queues.value(operation).size(); }

private:
    QHash<Operation, QQueue<ScriptedReply>> m_queues;
};
