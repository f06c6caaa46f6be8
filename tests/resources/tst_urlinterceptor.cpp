#include "urlinterceptor.h"

#include <QTest>

using DataType = QQmlAbstractUrlInterceptor::DataType;
Q_DECLARE_METATYPE(DataType)

class UrlInterceptorTest : public QObject
{
    Q_OBJECT

private slots:
    void redirectsStyleFiles_data();
    void redirectsStyleFiles();
    void leavesOtherUrls_data();
    void leavesOtherUrls();
};

void UrlInterceptorTest::redirectsStyleFiles_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("expected");

    const QString material = QStringLiteral("qrc:/qt-project.org/imports/QtQuick/Controls/Material/impl/");
    QTest::newRow("calendar") << QUrl(QStringLiteral(
                                     "qrc:/qt-project.org/imports/QtQuick/Controls/Basic/Calendar.qml"))
                              << QStringLiteral("qrc:/effects/Calendar.qml");
    QTest::newRow("check indicator") << QUrl(material + QStringLiteral("CheckIndicator.qml"))
                                     << QStringLiteral("qrc:/effects/CheckIndicator.qml");
    QTest::newRow("elevation effect") << QUrl(material + QStringLiteral("ElevationEffect.qml"))
                                      << QStringLiteral("qrc:/effects/ElevationEffect.qml");
    QTest::newRow("rounded elevation effect") << QUrl(material + QStringLiteral("RoundedElevationEffect.qml"))
                                              << QStringLiteral("qrc:/effects/ElevationEffect.qml");
    // Whichever directory asks: another style, a plain file, no path at all.
    QTest::newRow("other style") << QUrl(QStringLiteral(
                                        "file:///opt/qt/qml/QtQuick/Controls/Fusion/impl/CheckIndicator.qml"))
                                 << QStringLiteral("qrc:/effects/CheckIndicator.qml");
    QTest::newRow("relative") << QUrl(QStringLiteral("ElevationEffect.qml"))
                              << QStringLiteral("qrc:/effects/ElevationEffect.qml");
    // The name is compared decoded.
    QTest::newRow("encoded name") << QUrl(QStringLiteral("file:///tmp/a%20b/Check%49ndicator.qml"))
                                  << QStringLiteral("qrc:/effects/CheckIndicator.qml");
    QTest::newRow("with query") << QUrl(QStringLiteral("qrc:/x/Calendar.qml?v=2#top"))
                                << QStringLiteral("qrc:/effects/Calendar.qml");
}

void UrlInterceptorTest::redirectsStyleFiles()
{
    QFETCH(QUrl, url);
    QFETCH(QString, expected);
    urlInterceptor interceptor;
    const QUrl result = interceptor.intercept(url, DataType::QmlFile);
    QCOMPARE(result.toString(), expected);
    QCOMPARE(result.scheme(), QStringLiteral("qrc"));
    QVERIFY(result.host().isEmpty());
    QVERIFY(!result.hasQuery());
    QVERIFY(!result.hasFragment());
}

void UrlInterceptorTest::leavesOtherUrls_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<DataType>("type");

    const QString material = QStringLiteral("qrc:/qt-project.org/imports/QtQuick/Controls/Material/impl/");
    QTest::newRow("lower case") << QUrl(QStringLiteral(
                                       "qrc:/qt-project.org/imports/QtQuick/Controls/Basic/calendar.qml"))
                                << DataType::QmlFile;
    QTest::newRow("upper-case suffix")
        << QUrl(material + QStringLiteral("ElevationEffect.QML")) << DataType::QmlFile;
    QTest::newRow("longer name") << QUrl(material + QStringLiteral("MyCheckIndicator.qml"))
                                 << DataType::QmlFile;
    QTest::newRow("other style file")
        << QUrl(material + QStringLiteral("BoxShadow.qml")) << DataType::QmlFile;
    QTest::newRow("name as directory")
        << QUrl(material + QStringLiteral("Calendar.qml/Button.qml")) << DataType::QmlFile;
    QTest::newRow("script") << QUrl(material + QStringLiteral("ElevationEffect.js"))
                            << DataType::JavaScriptFile;
    QTest::newRow("script type, matching name")
        << QUrl(material + QStringLiteral("ElevationEffect.qml")) << DataType::JavaScriptFile;
    QTest::newRow("directory file") << QUrl(material + QStringLiteral("qmldir")) << DataType::QmldirFile;
    QTest::newRow("directory file type, matching name")
        << QUrl(material + QStringLiteral("CheckIndicator.qml")) << DataType::QmldirFile;
    QTest::newRow("url string") << QUrl(material + QStringLiteral("Calendar.qml")) << DataType::UrlString;
    QTest::newRow("module file") << QUrl(QStringLiteral("qrc:/qt/qml/TolkaModule/main.qml"))
                                 << DataType::QmlFile;
}

void UrlInterceptorTest::leavesOtherUrls()
{
    QFETCH(QUrl, url);
    QFETCH(DataType, type);
    urlInterceptor interceptor;
    QCOMPARE(interceptor.intercept(url, type), url);
}

QTEST_GUILESS_MAIN(UrlInterceptorTest)
#include "tst_urlinterceptor.moc"
