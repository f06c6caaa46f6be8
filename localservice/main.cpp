// The local cloud service: translation, recognition and synthesis on
// loopback, for development and tests without the cloud.
#include "certificate.h"
#include "cloudservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tolka-localservice"));
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
    parser.addOptions({portOption, certOption, keyOption, quietOption});
    parser.process(app);

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
    if (!service.listen(*identity, quint16(port))) {
        std::fprintf(stderr, "tolka-localservice: cannot listen on port %u\n", port);
        return 1;
    }
    std::printf("CA certificate: %s\n", qPrintable(identity->caPath));
    std::printf("listening on %s\n", qPrintable(service.origin()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
