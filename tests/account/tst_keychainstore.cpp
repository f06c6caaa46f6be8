// Keys in the system's credential store: a round trip through QtKeychain and
// a real Secret Service (gnome-keyring on a bus of the test's own).
#include "keychainstore.h"
#include "secretservice.h"

#include <QDir>
#include <QDirIterator>
#include <QTest>

#include <optional>

namespace {

struct ReadResult
{
    bool done = false;
    std::optional<QByteArray> key;
    QString error;
};

} // namespace

class KeychainStoreTest : public QObject
{
    Q_OBJECT
    PrivateSecretService secrets;
    std::unique_ptr<KeychainStore> store;

    ReadResult read(const QString &name)
    {
        auto result = std::make_shared<ReadResult>();
        store->read(name, [result](std::optional<QByteArray> key, const QString &error) {
            *result = {true, std::move(key), error};
        });
        if (!QTest::qWaitFor([&] { return result->done; }, 20000))
            return {true, std::nullopt, QStringLiteral("no answer")};
        return *result;
    }

    QString write(const QString &name, const QByteArray &key)
    {
        auto done = std::make_shared<std::optional<QString>>();
        store->write(name, key, [done](const QString &error) { *done = error; });
        if (!QTest::qWaitFor([&] { return done->has_value(); }, 20000))
            return QStringLiteral("no answer");
        return **done;
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(secrets.start(&error), qPrintable(error));
        store = std::make_unique<KeychainStore>(QStringLiteral("Tolka test"));
        QVERIFY(store->isSecure());
    }

    void aKeyGoesInAndComesBack()
    {
        const QByteArray key = "0e5a1f3c9b7d42e8a6c0d1f2b3a4abcd";
        QCOMPARE(write(QStringLiteral("speech"), key), QString());
        const ReadResult back = read(QStringLiteral("speech"));
        QCOMPARE(back.error, QString());
        QCOMPARE(back.key.value_or(QByteArray()), key);
        // Another name holds nothing.
        const ReadResult other = read(QStringLiteral("translator"));
        QCOMPARE(other.error, QString());
        QVERIFY(!other.key);
    }

    void anEmptyKeyRemovesIt()
    {
        QCOMPARE(write(QStringLiteral("translatorBackup"), "abc"), QString());
        QCOMPARE(read(QStringLiteral("translatorBackup")).key.value_or(QByteArray()), QByteArray("abc"));
        QCOMPARE(write(QStringLiteral("translatorBackup"), QByteArray()), QString());
        QVERIFY(!read(QStringLiteral("translatorBackup")).key);
        // Removing what is not there is no error either.
        QCOMPARE(write(QStringLiteral("translatorBackup"), QByteArray()), QString());
    }

    void theKeyIsNotWrittenInTheClear()
    {
        const QByteArray key = "ThisKeyMustNeverBeReadableOnDisk0123456789";
        QCOMPARE(write(QStringLiteral("translator"), key), QString());
        // The keyring's files are encrypted with the login password.
        int files = 0;
        QDirIterator it(secrets.home(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains(key), qPrintable(file.fileName()));
            ++files;
        }
        QVERIFY(files > 0);
    }
};

QTEST_GUILESS_MAIN(KeychainStoreTest)
#include "tst_keychainstore.moc"
