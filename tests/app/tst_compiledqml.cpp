// Every file of the QML module and of the style replacements in ":/effects/"
// loads from the unit compiled into the program, not from its source. The
// engine's disk-cache category reports each file it has to compile itself
// (or look up in its disk cache, empty here); a resource of this test that
// is not compiled ahead of time shows that the report is seen.
#include "startup.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QMutex>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QTest>

namespace {

QMutex reportsMutex;
QStringList reports;
QtMessageHandler previousHandler = nullptr;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && qstrcmp(context.category, "qt.qml.diskcache") == 0) {
        // The type loader thread reports too.
        const QMutexLocker lock(&reportsMutex);
        reports.append(message);
        return;
    }
    previousHandler(type, context, message);
}

void clearReports()
{
    const QMutexLocker lock(&reportsMutex);
    reports.clear();
}

// Reports naming a URL under one of the prefixes; the list is emptied.
QStringList takeReports(const QStringList &prefixes)
{
    const QMutexLocker lock(&reportsMutex);
    QStringList found;
    for (const QString &report : std::as_const(reports)) {
        for (const QString &prefix : prefixes) {
            if (report.contains(prefix))
                found.append(report);
        }
    }
    reports.clear();
    return found;
}

const QStringList ownPrefixes{QStringLiteral("qrc:/qt/qml/TolkaModule/"), QStringLiteral("qrc:/effects/")};

// The QML files the module's qmldir lists.
QStringList moduleFiles()
{
    QFile qmldir(QStringLiteral(":/qt/qml/TolkaModule/qmldir"));
    if (!qmldir.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList files;
    for (const QByteArray &line : qmldir.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 3 && fields[2].endsWith(".qml") && !files.contains(QString::fromUtf8(fields[2])))
            files.append(QString::fromUtf8(fields[2]));
    }
    return files;
}

} // namespace

class CompiledQmlTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(cache.isValid());
        // Nothing may come from the disk cache of an earlier run.
        qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
        QLoggingCategory::setFilterRules(QStringLiteral("qt.qml.diskcache.debug=true"));
        previousHandler = qInstallMessageHandler(collect);
    }

    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    void aFileWithoutCompiledUnitIsReported()
    {
        const QString url = QStringLiteral("qrc:/uncompiled/Plain.qml");
        QQmlEngine engine;
        QQmlComponent component(&engine, QUrl(url));
        QVERIFY2(component.isReady(), qPrintable(component.errorString()));
        QVERIFY2(!takeReports({url}).isEmpty(),
                 "the engine reported nothing about a file it compiled itself");
    }

    void theModuleListsItsFiles()
    {
        const QStringList files = moduleFiles();
        QVERIFY2(files.contains(QStringLiteral("main.qml")), qPrintable(files.join(u' ')));
        QVERIFY2(files.contains(QStringLiteral("history.qml")), qPrintable(files.join(u' ')));
    }

    void filesComeCompiled_data()
    {
        QTest::addColumn<QString>("url");
        for (const QString &file : moduleFiles())
            QTest::newRow(qPrintable(file)) << QStringLiteral("qrc:/qt/qml/TolkaModule/") + file;
        const QStringList effects = QDir(QStringLiteral(":/effects")).entryList({QStringLiteral("*.qml")});
        for (const QString &file : effects)
            QTest::newRow(qPrintable(QStringLiteral("effects/") + file))
                << QStringLiteral("qrc:/effects/") + file;
    }

    void filesComeCompiled()
    {
        QFETCH(QString, url);
        clearReports();
        QQmlEngine engine;
        tolka::installUrlInterceptor(engine);
        // Compiling is enough: the file and everything it imports are loaded.
        QQmlComponent component(&engine, QUrl(url));
        QTRY_VERIFY2_WITH_TIMEOUT(!component.isLoading(), qPrintable(url), 10000);
        QVERIFY2(component.isReady(), qPrintable(component.errorString()));
        const QStringList compiledHere = takeReports(ownPrefixes);
        QVERIFY2(compiledHere.isEmpty(), qPrintable(compiledHere.join(u'\n')));
    }

private:
    QTemporaryDir cache;
};

QTEST_MAIN(CompiledQmlTest)
#include "tst_compiledqml.moc"
