// The system locale picks the default source language and the interface
// language. Both are cached for the life of the process, so each
// case runs this executable again as a child with LANG and LC_ALL set; the
// child prints what helper reports and the parent checks it.
#include "catalogue.h"
#include "helper.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// Child mode: no QCoreApplication is needed for QLocale::system().
int child()
{
    const helper h;
    const QByteArrayList model = h.getBaseModel();
    auto out = [](const char *key, const QByteArray &value) {
        std::printf("%s=%s\n", key, value.constData());
    };
    out("code", h.getCurrentLang(false));
    out("language", h.getCurrentLang(true));
    out("interface", tolka::catalogue::interfaceLanguage());
    out("destination", h.getCurrentLang(true) == "en" ? QByteArray("fr-FR") : QByteArray("en-US"));
    out("count", QByteArray::number(model.size()));
    out("missing", QByteArray::number(h.findLocaleIndex("xx-XX")));
    out("first", model.value(0));
    out("label0", h.getBaseLabel(0));
    out("label4", h.getBaseLabel(4));
    out("label26", h.getBaseLabel(26));
    out("label71", h.getBaseLabel(71));
    out("label79", h.getBaseLabel(79));
    out("label80", h.getBaseLabel(80));
    out("label85", h.getBaseLabel(85));
    out("label94", h.getBaseLabel(94));
    out("label95", h.getBaseLabel(95));
    out("labelPastLast", h.getBaseLabel(tolka::catalogue::labelCount));
    out("raw25", h.getRawLabel(25));
    out("frFR", model.value(h.findLocaleIndex("fr-FR")));
    out("roundTrip", h.findLocaleValue(model.value(h.findLocaleIndex("zh-TW"))));
    std::fflush(stdout);
    return 0;
}

QMap<QByteArray, QByteArray> runChild(const QByteArray &locale)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *v : {"LANGUAGE", "LC_MESSAGES", "LC_CTYPE", "LC_NUMERIC", "LC_COLLATE", "LC_TIME"})
        env.remove(QString::fromLatin1(v));
    env.insert(u"LANG"_s, QString::fromLatin1(locale));
    env.insert(u"LC_ALL"_s, QString::fromLatin1(locale));
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), {u"--child"_s});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    QMap<QByteArray, QByteArray> values;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            values.insert(line.left(eq), line.mid(eq + 1));
    }
    return values;
}

} // namespace

class tst_systemlocale : public QObject
{
    Q_OBJECT
private slots:
    void unsupportedLocaleFallsBackToEnglish() // de-LU is not a supported code
    {
        const auto v = runChild("de_LU.UTF-8");
        QCOMPARE(v.value("code"), "en-US");
        QCOMPARE(v.value("language"), "en");
        QCOMPARE(v.value("interface"), "en");
        QCOMPARE(v.value("destination"), "fr-FR");
        QCOMPARE(v.value("count"), "148");
        QCOMPARE(v.value("first"), "Afrikaans (South Africa)");
        QCOMPARE(v.value("label0"), "About Tolka#");
        QCOMPARE(v.value("frFR"), "French (France)");
    }
    void traditionalChinese()
    {
        const auto v = runChild("zh_TW.UTF-8");
        QCOMPARE(v.value("code"), "zh-TW");
        QCOMPARE(v.value("language"), "zh");
        QCOMPARE(v.value("interface"), "zh-Hant");
        QCOMPARE(v.value("destination"), "en-US");
        QCOMPARE(v.value("label0"), "關於托爾卡#");
        QCOMPARE(v.value("label79"), "%1的語音");
        QCOMPARE(v.value("label80"), "桌面");
        QCOMPARE(v.value("label94"), "無法使用這個按鍵。");
        QCOMPARE(v.value("label95"), "無法播放語音回覆。");
        QCOMPARE(v.value("frFR"), "法文（法國）");
        QCOMPARE(v.value("roundTrip"), "zh-TW");
    }
    void simplifiedChinese()
    {
        const auto v = runChild("zh_CN.UTF-8");
        QCOMPARE(v.value("code"), "zh-CN");
        QCOMPARE(v.value("language"), "zh");
        QCOMPARE(v.value("interface"), "zh-Hans");
        // Every interface language names all 148 locales, zh-Hans included.
        QCOMPARE(v.value("count"), "148");
        QCOMPARE(v.value("missing"), "148");
        QCOMPARE(v.value("label0"), "关于托尔卡#");
        QCOMPARE(v.value("frFR"), "法语（法国）");
    }
    void german()
    {
        const auto v = runChild("de_DE.UTF-8");
        QCOMPARE(v.value("code"), "de-DE");
        QCOMPARE(v.value("language"), "de");
        QCOMPARE(v.value("interface"), "de");
        QCOMPARE(v.value("destination"), "en-US");
        QCOMPARE(v.value("label0"), "Über Tolka#");
        QCOMPARE(v.value("label4"), "https://arvendel.example");
        QCOMPARE(v.value("label26"), "Dienstkonto");
        QCOMPARE(v.value("label71"),
                 "Das ganze Transkript leeren? Das kann nicht rückgängig gemacht werden.");
        QCOMPARE(v.value("label79"), "Stimme für %1");
        QCOMPARE(v.value("label85"), "Beim Schließen in den Infobereich");
        QCOMPARE(v.value("label94"), "Diese Taste kann nicht verwendet werden.");
        QCOMPARE(v.value("label95"), "Die Antwort der Stimme konnte nicht wiedergegeben werden.");
        QCOMPARE(v.value("labelPastLast"), "");
        QCOMPARE(v.value("raw25"), "Standard (quality)");
        QCOMPARE(v.value("first"), "Afrikaans (Südafrika)");
        QCOMPARE(v.value("frFR"), "Französisch (Frankreich)");
    }
    void serbian()
    {
        // Every locale can be chosen in sr too,
        // so a code outside the list gives the count of all 148.
        const auto v = runChild("sr_RS.UTF-8");
        QCOMPARE(v.value("code"), "sr-RS");
        QCOMPARE(v.value("interface"), "sr");
        QCOMPARE(v.value("count"), "148");
        QCOMPARE(v.value("missing"), "148");
        QCOMPARE(v.value("label0"), "О апликацији Толка#");
    }
    void cantoneseAndWuUseSimplifiedChinese()
    {
        const auto v = runChild("yue_CN.UTF-8");
        if (v.value("code") != "yue-CN")
            QSKIP("Qt does not report yue_CN as the system locale name here");
        QCOMPARE(v.value("interface"), "zh-Hans");
        QCOMPARE(v.value("language"), "yue");
    }
    void posixLocale()
    {
        const auto v = runChild("C");
        QCOMPARE(v.value("code"), "en-US");
        QCOMPARE(v.value("interface"), "en");
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return child();
    QCoreApplication app(argc, argv);
    tst_systemlocale t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_systemlocale.moc"
