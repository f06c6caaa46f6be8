// The local cloud service: translation, recognition and synthesis on
// loopback, for development and tests without the cloud.
#include "certificate.h"
#include "cloudservice.h"
#include "quitsignals.h"
#ifdef TOLKA_OFFLINE_ENGINES
#include "offlineengines.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tolka-localservice"));
    // Stopped by its parent with SIGTERM: the engines' pipelines and the
    // certificate's folder go with it.
    tolka::quitOnTerminationSignals();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local HTTPS stand-in for the translation, recognition and synthesis services."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port (0: a free one)."),
                                        QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption certOption(QStringLiteral("cert"), QStringLiteral("PEM certificate file."),
                                        QStringLiteral("file"));
    const QCommandLineOption keyOption(QStringLiteral("key"), QStringLiteral("PEM private key file."),
                                       QStringLiteral("file"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("Do not print the request log."));
    const QCommandLineOption enginesOption(
        QStringLiteral("engines"),
        QStringLiteral("fixed: fixed answers (the default); offline: espeak-ng, pocketsphinx and apertium."),
        QStringLiteral("kind"), QStringLiteral("fixed"));
    const QCommandLineOption limitOption(
        QStringLiteral("time-limit"),
        QStringLiteral("Milliseconds an engine may work on one request (default 4500, under the client's "
                       "5-second timeout)."),
        QStringLiteral("ms"), QStringLiteral("4500"));
    const QCommandLineOption regionOption(
        QStringLiteral("translator-region"),
        QStringLiteral("Stand in for a regional translator resource: refuse translations whose "
                       "Ocp-Apim-Subscription-Region is not this region."),
        QStringLiteral("region"));
    const QCommandLineOption paceOption(
        QStringLiteral("synthesis-pace"),
        QStringLiteral("Milliseconds between the pieces of a synthesis reply (200 ms of speech each; "
                       "default 0: back to back)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption listOption(
        QStringLiteral("list-offline"),
        QStringLiteral("Print the offline voices and language pairs and exit."));
    parser.addOptions({portOption, certOption, keyOption, quietOption, enginesOption, limitOption,
                       regionOption, paceOption, listOption});
    parser.process(app);

    const QString engines = parser.value(enginesOption);
#ifdef TOLKA_OFFLINE_ENGINES
    const bool offlineBuilt = true;
    if (parser.isSet(listOption)) {
        offlineengines::printCapabilities();
        return 0;
    }
#else
    const bool offlineBuilt = false;
    if (parser.isSet(listOption)) {
        std::fprintf(stderr, "tolka-localservice: built without offline engines\n");
        return 1;
    }
#endif
    if (engines != QLatin1String("fixed") && engines != QLatin1String("offline")) {
        std::fprintf(stderr, "tolka-localservice: unknown engines \"%s\" (fixed or offline)\n",
                     qPrintable(engines));
        return 2;
    }
    if (engines == QLatin1String("offline") && !offlineBuilt) {
        std::fprintf(stderr, "tolka-localservice: built without offline engines (espeak-ng, pocketsphinx)\n");
        return 2;
    }
    bool limitOk = false;
    const int limit = parser.value(limitOption).toInt(&limitOk);
    if (!limitOk || limit <= 0) {
        std::fprintf(stderr, "tolka-localservice: invalid time limit %s\n",
                     qPrintable(parser.value(limitOption)));
        return 2;
    }
    bool paceOk = false;
    const int pace = parser.value(paceOption).toInt(&paceOk);
    if (!paceOk || pace < 0) {
        std::fprintf(stderr, "tolka-localservice: invalid synthesis pace %s\n",
                     qPrintable(parser.value(paceOption)));
        return 2;
    }

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "tolka-localservice: invalid port %s\n", qPrintable(parser.value(portOption)));
        return 2;
    }
    QString error;
    QTemporaryDir folder;
    std::optional<TlsIdentity> identity;
    if (parser.isSet(certOption) || parser.isSet(keyOption)) {
        identity = loadIdentity(parser.value(certOption), parser.value(keyOption), &error);
    } else if (folder.isValid()) {
        identity = generateIdentity(folder.path(), &error);
    } else {
        error = QStringLiteral("no temporary folder for the certificate");
    }
    if (!identity) {
        std::fprintf(stderr, "tolka-localservice: %s\n", qPrintable(error));
        return 1;
    }
    CloudService service;
    service.log().setEcho(!parser.isSet(quietOption));
    service.setTimeLimit(std::chrono::milliseconds(limit));
    service.setSynthesisPace(std::chrono::milliseconds(pace));
    service.setTranslatorRegion(parser.value(regionOption));
#ifdef TOLKA_OFFLINE_ENGINES
    if (engines == QLatin1String("offline"))
        offlineengines::install(service);
#endif
    if (!service.listen(*identity, quint16(port))) {
        std::fprintf(stderr, "tolka-localservice: cannot listen on port %u\n", port);
        return 1;
    }
    std::printf("CA certificate: %s\n", qPrintable(identity->caPath));
    std::printf("engines: %s\n", qPrintable(engines));
    std::printf("listening on %s\n", qPrintable(service.origin()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
