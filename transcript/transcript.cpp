#include "transcript.h"

#include "transcriptexport.h"
#include "transcriptlogging.h"
#include "transcriptstore.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

#include <exception>

using namespace Qt::StringLiterals;
using tolka::TranscriptEntry;

namespace {

constexpr auto folderVariable = "TOLKA_TRANSCRIPT_DIR";

// Runs f; an exception becomes a logged warning and the fallback result.
template <typename F, typename R> R guarded(const char *method, F f, R fallback)
{
    try {
        return f();
    } catch (const std::exception &e) {
        qCWarning(lcTranscript) << "transcript." << method << "failed:" << e.what();
    } catch (...) {
        qCWarning(lcTranscript) << "transcript." << method << "failed";
    }
    return fallback;
}

QList<TranscriptEntry> entriesOf(const QVariantList &list)
{
    QList<TranscriptEntry> entries;
    entries.reserve(list.size());
    for (qsizetype i = 0; i < list.size(); ++i) {
        auto entry = TranscriptEntry::fromMap(list.at(i).toMap());
        if (entry)
            entries.append(std::move(*entry));
        else
            qCWarning(lcTranscript).noquote()
                << u"exchange %1 left out: %2"_s.arg(QString::number(i), entry.error());
    }
    return entries;
}

} // namespace

QVariantList transcript::load(int maxEntries) const
{
    return guarded(
        "load",
        [&] {
            QVariantList maps;
            for (const TranscriptEntry &entry : tolka::TranscriptStore(folder()).load(maxEntries))
                maps.append(entry.toMap());
            return maps;
        },
        QVariantList{});
}

bool transcript::append(const QVariantMap &entry)
{
    return guarded(
        "append",
        [&] {
            const auto parsed = TranscriptEntry::fromMap(entry);
            if (!parsed) {
                qCWarning(lcTranscript).noquote() << "exchange refused:" << parsed.error();
                return false;
            }
            return tolka::TranscriptStore(folder()).append(*parsed);
        },
        false);
}

bool transcript::clear()
{
    return guarded("clear", [&] { return tolka::TranscriptStore(folder()).clear(); }, false);
}

QString transcript::format(const QVariantList &entries, const QString &kind) const
{
    return guarded(
        "format",
        [&] {
            auto document = tolka::TranscriptExport::format(entriesOf(entries), kind);
            if (!document) {
                qCWarning(lcTranscript).noquote()
                    << u"no export format \"%1\" (text, markdown, csv or srt)"_s.arg(kind);
                return QString();
            }
            return *document;
        },
        QString());
}

bool transcript::exportTo(const QUrl &file, const QVariantList &entries, const QString &kind) const
{
    return guarded(
        "exportTo",
        [&] {
            if (!file.isLocalFile()) {
                qCWarning(lcTranscript).noquote()
                    << "not exported: not a local file:" << file.toDisplayString();
                return false;
            }
            const auto document = tolka::TranscriptExport::format(entriesOf(entries), kind);
            if (!document) {
                qCWarning(lcTranscript).noquote() << u"not exported: no export format \"%1\""_s.arg(kind);
                return false;
            }
            const QString path = file.toLocalFile();
            QSaveFile out(path);
            const QByteArray bytes = document->toUtf8();
            if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
                qCWarning(lcTranscript).noquote()
                    << "not exported: cannot write" << path << "-" << out.errorString();
                return false;
            }
            return true;
        },
        false);
}

QString transcript::folder() const
{
    const QString chosen = qEnvironmentVariable(folderVariable);
    if (!chosen.isEmpty())
        return QDir::cleanPath(chosen);
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + u"/transcript"_s;
}
