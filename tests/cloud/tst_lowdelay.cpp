// Nagle's algorithm turned off beneath Qt: real loopback connections, the
// ones to the given port changed once, every other socket left alone.
#include "lowdelay.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

class LowDelayTest : public QObject
{
    Q_OBJECT

    static std::unique_ptr<QTcpSocket> connectTo(const QTcpServer &server)
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, server.serverPort());
        return socket;
    }

private slots:
    void onlyConnectionsToThePortChange()
    {
        QTcpServer service;
        QTcpServer other;
        QVERIFY(service.listen(QHostAddress::LocalHost));
        QVERIFY(other.listen(QHostAddress::LocalHost));
        const auto first = connectTo(service);
        const auto second = connectTo(service);
        const auto elsewhere = connectTo(other);
        for (QTcpSocket *s : {first.get(), second.get(), elsewhere.get()})
            QVERIFY(s->waitForConnected(5000));
        QTRY_VERIFY(service.hasPendingConnections());
        std::unique_ptr<QTcpSocket> accepted(service.nextPendingConnection());
        QVERIFY(accepted);
        for (QTcpSocket *s : {first.get(), second.get(), elsewhere.get(), accepted.get()})
            QCOMPARE(s->socketOption(QAbstractSocket::LowDelayOption).toInt(), 0);

        QCOMPARE(tolka::net::disableNagleTo(service.serverPort()), 2);
        QCOMPARE(first->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
        QCOMPARE(second->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
        // Another service's connection, and the service's own end (whose
        // peer is the client's port), stay as they were.
        QCOMPARE(elsewhere->socketOption(QAbstractSocket::LowDelayOption).toInt(), 0);
        QCOMPARE(accepted->socketOption(QAbstractSocket::LowDelayOption).toInt(), 0);
        // Done once: nothing left to change.
        QCOMPARE(tolka::net::disableNagleTo(service.serverPort()), 0);
        const auto third = connectTo(service);
        QVERIFY(third->waitForConnected(5000));
        QCOMPARE(tolka::net::disableNagleTo(service.serverPort()), 1);
    }

    void noConnectionNothingChanges()
    {
        QTcpServer service;
        QVERIFY(service.listen(QHostAddress::LocalHost));
        // The listening socket has no peer.
        QCOMPARE(tolka::net::disableNagleTo(service.serverPort()), 0);
    }
};

QTEST_GUILESS_MAIN(LowDelayTest)
#include "tst_lowdelay.moc"
