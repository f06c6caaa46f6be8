#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The icons, effect files and shader that the interface loads from the
// resources, at the paths it uses.
class ResourcesTest : public QObject
{
    Q_OBJECT

private slots:
    void pictures_data();
    void pictures();
    void materialIcons_data();
    void materialIcons();
    void effectFiles_data();
    void effectFiles();
    void shaderVariants();
};

namespace {

QStringList materialNames()
{
    return {QStringLiteral("play"),     QStringLiteral("history"),     QStringLiteral("copy"),
            QStringLiteral("about"),    QStringLiteral("arrows"),      QStringLiteral("validate"),
            QStringLiteral("cancel"),   QStringLiteral("paste"),       QStringLiteral("stop"),
            QStringLiteral("dropdown"), QStringLiteral("theme"),       QStringLiteral("menu"),
            QStringLiteral("alert"),    QStringLiteral("clearscreen"), QStringLiteral("parameters"),
            QStringLiteral("voice")};
}

QImage decode(const QString &path)
{
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull())
        qWarning() << path << reader.errorString();
    return image;
}

} // namespace

void ResourcesTest::pictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("minimumSize");
    QTest::newRow("application icon") << QStringLiteral(":/icons/Tolka.png") << 256;
    // Shown up to about 200 px tall, on high-DPI screens too.
    QTest::newRow("microphone, light") << QStringLiteral(":/icons/micLight.png") << 400;
    QTest::newRow("microphone, dark") << QStringLiteral(":/icons/micDark.png") << 400;
}

void ResourcesTest::pictures()
{
    QFETCH(QString, path);
    QFETCH(int, minimumSize);
    const QImage image = decode(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.width(), image.height());
    QVERIFY2(image.width() >= minimumSize, qPrintable(QString::number(image.width())));
    QVERIFY(image.hasAlphaChannel());
    // A round or rounded shape: transparent corners, opaque centre.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
}

void ResourcesTest::materialIcons_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : materialNames())
        QTest::newRow(qPrintable(name)) << name;
}

void ResourcesTest::materialIcons()
{
    QFETCH(QString, name);
    const QImage normal = decode(QStringLiteral(":/icons/material/%1.png").arg(name));
    const QImage doubled = decode(QStringLiteral(":/icons/material/%1@2x.png").arg(name));
    QVERIFY(!normal.isNull());
    QVERIFY(!doubled.isNull());
    QCOMPARE(normal.size(), QSize(48, 48));
    QCOMPARE(doubled.size(), normal.size() * 2);

    // One colour, black, on transparent: the controls tint it by its alpha.
    int covered = 0;
    const QImage argb = doubled.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb pixel = argb.pixel(x, y);
            if (qAlpha(pixel) == 0)
                continue;
            ++covered;
            QVERIFY2(qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0,
                     qPrintable(QStringLiteral("colour at %1,%2").arg(x).arg(y)));
        }
    }
    // Something is drawn, and not the whole square.
    QVERIFY(covered > 100);
    QVERIFY(covered < argb.width() * argb.height());
}

void ResourcesTest::effectFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("calendar") << QStringLiteral(":/effects/Calendar.qml") << QByteArray("pragma Singleton");
    QTest::newRow("check indicator") << QStringLiteral(":/effects/CheckIndicator.qml")
                                     << QByteArray("required property bool checkState");
    QTest::newRow("elevation effect") << QStringLiteral(":/effects/ElevationEffect.qml")
                                      << QByteArray("qrc:/effects/shadow/rectangularshade.frag.qsb");
}

void ResourcesTest::effectFiles()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, content);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    QVERIFY(file.readAll().contains(content));
}

// The shader package holds every variant that the scene graph back ends ask
// for: SPIR-V, GLSL 100 es, 120 and 150, HLSL and Metal.
void ResourcesTest::shaderVariants()
{
    QFile shader(QStringLiteral(":/effects/shadow/rectangularshade.frag.qsb"));
    QVERIFY(shader.open(QIODevice::ReadOnly));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("shade.qsb"));
    QVERIFY(shader.copy(copy));

    QProcess qsb;
    qsb.start(QStringLiteral(TOLKA_QSB), {QStringLiteral("--dump"), copy});
    QVERIFY(qsb.waitForFinished());
    QCOMPARE(qsb.exitCode(), 0);
    const QString dump = QString::fromUtf8(qsb.readAllStandardOutput());
    QVERIFY2(dump.contains(QStringLiteral("Stage: Fragment")), qPrintable(dump));
    for (const char *variant : {"SPIR-V 100", "GLSL 100 es", "GLSL 120", "GLSL 150", "HLSL 50", "MSL 12"})
        QVERIFY2(dump.contains(QLatin1String(variant)), variant);
    // The uniforms that the effect's delegates feed.
    for (const char *uniform : {"radius", "spread", "blur", "width", "height", "qt_Opacity", "qt_Matrix"})
        QVERIFY2(dump.contains(QStringLiteral("\"name\": \"%1\"").arg(QLatin1String(uniform))), uniform);
}

QTEST_GUILESS_MAIN(ResourcesTest)
#include "tst_resources.moc"
