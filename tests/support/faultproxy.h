#pragma once

#include <QSslConfiguration>
#include <QTcpServer>

#include <chrono>
#include <optional>

class QSslSocket;

// Faults of a real network that an HTTP server cannot be told to make, put
// between a client and a TLS service on this machine (the local service): it
// ends the client's TLS itself, opens a connection of its own to the service
// for each of the client's, passes HTTP/2 on frame by frame and HTTP/1.1 byte
// by byte, and breaks the response to the next request at a chosen point.
// Requests always reach the service whole, so its log tells what was sent.
// The TLS side can be made to fail for the next connection instead.
class FaultProxy final : public QTcpServer
{
    Q_OBJECT
public:
    enum class Fault
    {
        None,
        ResetBeforeHeaders, // the connection is reset when the response is due
        ResetDuringHeaders, // half of the response head goes, then a reset
        ResetAfterHeaders,  // the head and part of the body go, then a reset
        GoAway,             // HTTP/2: GOAWAY naming the stream unprocessed, then the close
        StreamReset,        // HTTP/2: the head, then RST_STREAM (INTERNAL_ERROR)
        SlowHeaders,        // the response is held back for the stall
        SlowBody,           // the head goes; the body is held back for the stall
        TruncatedBody,      // part of the body, ended as if it were all
    };

    // service is the TLS identity offered normally; upstreamPort the service's.
    FaultProxy(const QSslConfiguration &service, quint16 upstreamPort, QObject *parent = nullptr);

    // Listens on 127.0.0.1, on a free port the first time and the same one
    // after refuse(false).
    bool start();
    [[nodiscard]] QString origin() const;

    // The next response (interim 1xx ones aside) meets the fault. HTTP/2-only
    // faults wait for an HTTP/2 response.
    void breakNextResponse(Fault fault);
    // How long SlowHeaders and SlowBody hold the response back.
    void setStall(std::chrono::milliseconds stall) { m_stall = stall; }
    [[nodiscard]] std::chrono::milliseconds stall() const { return m_stall; }
    // The next TLS connection is offered this configuration (a certificate
    // the client does not trust, say) instead of the service's.
    void offerNextConnection(const QSslConfiguration &tls) { m_nextTls = tls; }
    // Stops listening, so that connections are refused, or listens again.
    bool refuse(bool refusing);
    // Closes every connection (the client's pooled ones among them).
    void dropConnections();

    // Faults that have struck (responses broken, odd connections offered).
    [[nodiscard]] int struck() const { return m_struck; }
    // Whether a fault is still waiting for its response.
    [[nodiscard]] bool armed() const { return m_fault != Fault::None; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class Link;
    friend class Link;
    [[nodiscard]] Fault takeFault(bool http2);

    QSslConfiguration m_service;
    quint16 m_upstreamPort;
    quint16 m_port = 0;
    std::optional<QSslConfiguration> m_nextTls;
    Fault m_fault = Fault::None;
    std::chrono::milliseconds m_stall{1000};
    int m_struck = 0;
};
