#include "cloudfixture.h"

#include "clientstate.h"
#include "tts.h"

#include <QCryptographicHash>

QStringList MessageWindow::tags() const
{
    QStringList tags;
    for (const Message &m : messages)
        tags.append(m.tag);
    return tags;
}

QStringList MessageWindow::trace() const
{
    QStringList trace;
    for (const Message &m : messages) {
        if (m.value.typeId() == QMetaType::Bool)
            trace.append(m.tag + (m.value.toBool() ? QStringLiteral(":true") : QStringLiteral(":false")));
        else
            trace.append(m.tag);
    }
    return trace;
}

qsizetype MessageWindow::count(const QString &tag) const
{
    return tags().count(tag);
}

QVariant MessageWindow::last(const QString &tag) const
{
    for (auto it = messages.crbegin(); it != messages.crend(); ++it) {
        if (it->tag == tag)
            return it->value;
    }
    return {};
}

bool CloudFixture::start(QString *error)
{
    if (!startService(error))
        return false;
    qputenv("TOLKA_CLOUD_ORIGIN", m_service.origin().toUtf8());
    qputenv("TOLKA_CLOUD_CA_FILE", m_caPath.toUtf8());
    tts::configSSL();
    tts client;
    client.init();
    return true;
}

bool CloudFixture::startService(QString *error)
{
    if (!m_folder.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    const std::optional<TlsIdentity> identity = generateIdentity(m_folder.path(), error);
    if (!identity)
        return false;
    if (!m_service.listen(*identity)) {
        *error = QStringLiteral("the local service cannot listen");
        return false;
    }
    m_caPath = identity->caPath;
    return true;
}

void CloudFixture::reset()
{
    m_service.log().clear();
    m_service.script().clear();
    tolka::cloud::clientState().failureCount = 0;
}

QByteArray fakeRecording(char fill, qsizetype size)
{
    QByteArray data("OggS");
    data.append(QByteArray(qMax<qsizetype>(0, size - 4), fill));
    return data;
}

QByteArray sha256Hex(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}
