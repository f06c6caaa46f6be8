#include "transcriptstore.h"

#include "transcriptlogging.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace tolka {

namespace {

// The names of the day files.
constexpr auto filePattern = "transcript-[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9].jsonl"_L1;

// Pushes what the system holds for the file to the disk itself.
bool syncToDisk(QFile &file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

// Whether a non-empty file lacks its final line end: the last write was
// torn. A new line must then start on a line of its own, or the torn
// fragment would take the new exchange with it.
bool endsInTornLine(const QString &path)
{
    QFile file(path);
    if (file.size() == 0 || !file.open(QIODevice::ReadOnly))
        return false;
    char last = '\n';
    return file.seek(file.size() - 1) && file.getChar(&last) && last != '\n';
}

} // namespace

TranscriptStore::TranscriptStore(QString folder) : m_folder(std::move(folder))
{}

QString TranscriptStore::fileFor(QDate day) const
{
    return m_folder + u"/transcript-"_s + day.toString(u"yyyy-MM-dd") + u".jsonl"_s;
}

bool TranscriptStore::append(const TranscriptEntry &entry) const
{
    if (m_folder.isEmpty()) {
        qCWarning(lcTranscript) << "not stored: the system names no folder for the transcript";
        return false;
    }
    if (!entry.time.isValid()) {
        qCWarning(lcTranscript) << "not stored: an exchange without a time";
        return false;
    }
    if (!QDir().mkpath(m_folder)) {
        qCWarning(lcTranscript).noquote() << "not stored: cannot create the folder" << m_folder;
        return false;
    }
    const QString path = fileFor(entry.time.toLocalTime().date());
    QByteArray line =
        QJsonDocument(QJsonObject::fromVariantMap(entry.toMap())).toJson(QJsonDocument::Compact);
    line.append('\n');
    if (endsInTornLine(path))
        line.prepend('\n');

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        qCWarning(lcTranscript).noquote() << "not stored: cannot open" << path << "-" << file.errorString();
        return false;
    }
    // One write for the whole line, so that a crash tears at most this line.
    if (file.write(line) != line.size() || !file.flush()) {
        qCWarning(lcTranscript).noquote() << "not stored: cannot write" << path << "-" << file.errorString();
        return false;
    }
    if (!syncToDisk(file)) {
        qCWarning(lcTranscript).noquote() << "not stored: cannot sync" << path << "to disk -"
                                          << QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

QStringList TranscriptStore::files() const
{
    // An empty name would be the working folder.
    if (m_folder.isEmpty())
        return {};
    const QDir dir(m_folder);
    // The names hold the day, so their order is the days' order.
    const QStringList names = dir.entryList({filePattern}, QDir::Files, QDir::Name);
    QStringList paths;
    paths.reserve(names.size());
    for (const QString &name : names)
        paths.append(dir.filePath(name));
    return paths;
}

QList<TranscriptEntry> TranscriptStore::load(qsizetype maxEntries) const
{
    if (maxEntries <= 0)
        return {};
    // Newest day first, so that only the files needed are read.
    QList<QList<TranscriptEntry>> days;
    qsizetype count = 0;
    const QStringList paths = files();
    for (auto path = paths.crbegin(); path != paths.crend() && count < maxEntries; ++path) {
        QFile file(*path);
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcTranscript).noquote() << "cannot read" << *path << "-" << file.errorString();
            continue;
        }
        QList<TranscriptEntry> day;
        qsizetype lineNumber = 0;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine().trimmed();
            ++lineNumber;
            if (line.isEmpty())
                continue;
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            if (!document.isObject()) {
                const QString reason =
                    error.error == QJsonParseError::NoError ? u"not a JSON object"_s : error.errorString();
                qCWarning(lcTranscript).noquote()
                    << u"skipped %1:%2 - %3"_s.arg(*path, QString::number(lineNumber), reason);
                continue;
            }
            auto entry = TranscriptEntry::fromMap(document.object().toVariantMap());
            if (!entry) {
                qCWarning(lcTranscript).noquote()
                    << u"skipped %1:%2 - %3"_s.arg(*path, QString::number(lineNumber), entry.error());
                continue;
            }
            day.append(std::move(*entry));
        }
        count += day.size();
        days.append(std::move(day));
    }

    QList<TranscriptEntry> entries;
    entries.reserve(qMin(count, maxEntries));
    for (auto day = days.crbegin(); day != days.crend(); ++day)
        entries.append(*day);
    if (entries.size() > maxEntries)
        entries.remove(0, entries.size() - maxEntries);
    return entries;
}

bool TranscriptStore::clear() const
{
    bool cleared = true;
    for (const QString &path : files()) {
        QFile file(path);
        if (!file.remove()) {
            qCWarning(lcTranscript).noquote() << "cannot remove" << path << "-" << file.errorString();
            cleared = false;
        }
    }
    return cleared;
}

} // namespace tolka
