#include "speechcache.h"

#include "cloudlogging.h"
#include "synthesis.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimeZone>

#include <algorithm>

namespace tolka::cloud {

namespace {

// A file is the magic, the SHA-256 of the audio, then the audio: a file cut
// short or changed on disk is told from a reply.
constexpr QByteArrayView magic("TOLKASP1");
constexpr qsizetype checksumBytes = 32;
constexpr qsizetype headerBytes = magic.size() + checksumBytes;
constexpr qsizetype hexNameLength = 2 * checksumBytes;
constexpr QLatin1StringView suffix(".speech");

[[nodiscard]] bool wholePackets(qint64 audioBytes)
{
    return audioBytes > 0 && audioBytes % speechPacketBytes == 0;
}

[[nodiscard]] QByteArray checksum(QByteArrayView data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

// Why a file's bytes are not a stored reply, or nothing when they are one.
[[nodiscard]] QString problemWith(const QByteArray &file)
{
    if (file.size() < headerBytes || !wholePackets(file.size() - headerBytes))
        return QStringLiteral("%1 bytes are not a header and whole packets").arg(file.size());
    if (!file.startsWith(magic))
        return QStringLiteral("no header");
    const QByteArrayView audio = QByteArrayView(file).sliced(headerBytes);
    if (checksum(audio) != QByteArrayView(file).sliced(magic.size(), checksumBytes))
        return QStringLiteral("the audio does not match its checksum");
    return {};
}

[[nodiscard]] bool isEntryName(const QString &fileName)
{
    if (fileName.size() != hexNameLength + suffix.size() || !fileName.endsWith(suffix))
        return false;
    return std::all_of(fileName.cbegin(), fileName.cbegin() + hexNameLength,
                       [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'); });
}

// The order of use outlives the process in the file's modification time.
// Best effort: a file system that refuses leaves the order of writing.
void setUseTime(QFileDevice &file, qint64 ms)
{
    if (!file.setFileTime(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::UTC),
                          QFileDevice::FileModificationTime))
        qCDebug(lcCloud) << "cannot set the use time of" << file.fileName() << ":" << file.errorString();
}

} // namespace

QString SpeechCache::defaultFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    return base.isEmpty() ? QString() : base + QStringLiteral("/speech");
}

SpeechCache::SpeechCache(const QString &folder, int maxReplies, qint64 maxBytes)
    : m_folder(folder), m_maxReplies(maxReplies), m_maxBytes(maxBytes)
{
    load();
}

QString SpeechCache::fileNameOf(const SpeechKey &key)
{
    // Each field after its length: ("ab", "c") and ("a", "bc") differ.
    QByteArray joined;
    for (const QByteArray *field : {&key.language, &key.voice, &key.rate, &key.text, &key.service})
        joined.append(QByteArray::number(field->size())).append(':').append(*field);
    return QString::fromLatin1(checksum(joined).toHex()) + suffix;
}

QString SpeechCache::pathOf(const SpeechKey &key) const
{
    return m_folder + u'/' + fileNameOf(key);
}

bool SpeechCache::contains(const SpeechKey &key) const
{
    return indexOf(fileNameOf(key)) >= 0;
}

std::optional<QByteArray> SpeechCache::find(const SpeechKey &key)
{
    const qsizetype index = indexOf(fileNameOf(key));
    if (index < 0)
        return std::nullopt;
    const QString path = m_folder + u'/' + m_entries.at(index).name;
    // Opened for writing too, only to set its use time (Windows asks for it).
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        qCWarning(lcCloud).noquote() << "cached speech" << path << "cannot be read:" << file.errorString()
                                     << "- dropped";
        drop(index);
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (const QString problem = problemWith(bytes); !problem.isEmpty()) {
        qCWarning(lcCloud).noquote() << "cached speech" << path << "is corrupt:" << problem << "- dropped";
        file.close();
        drop(index);
        return std::nullopt;
    }
    Entry entry = m_entries.takeAt(index);
    entry.usedMs = nextUse();
    setUseTime(file, entry.usedMs);
    m_entries.append(entry);
    return bytes.sliced(headerBytes);
}

bool SpeechCache::store(const SpeechKey &key, const QByteArray &audio)
{
    if (!wholePackets(audio.size())) {
        qCDebug(lcCloud) << "a reply of" << audio.size() << "bytes is not whole packets; not cached";
        return false;
    }
    const qint64 fileBytes = headerBytes + audio.size();
    if (!m_usable || m_maxReplies <= 0 || fileBytes > m_maxBytes) {
        qCDebug(lcCloud) << "a reply of" << audio.size() << "bytes is not cached (bounds" << m_maxReplies
                         << "replies," << m_maxBytes << "bytes)";
        return false;
    }
    const QString name = fileNameOf(key);
    QSaveFile file(m_folder + u'/' + name);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(magic.data(), magic.size()) == magic.size() &&
        file.write(checksum(audio)) == checksumBytes && file.write(audio) == audio.size() && file.commit();
    if (!written) {
        qCWarning(lcCloud).noquote() << "cannot cache speech in" << file.fileName() << ":"
                                     << file.errorString();
        file.cancelWriting();
        return false;
    }
    if (const qsizetype old = indexOf(name); old >= 0) {
        m_bytes -= m_entries.at(old).bytes;
        m_entries.removeAt(old);
    }
    const Entry entry{name, fileBytes, nextUse()};
    QFile stored(m_folder + u'/' + name);
    if (stored.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        setUseTime(stored, entry.usedMs);
    m_entries.append(entry);
    m_bytes += fileBytes;
    trim();
    return true;
}

void SpeechCache::load()
{
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder)) {
        qCWarning(lcCloud).noquote() << "no folder for cached speech"
                                     << (m_folder.isEmpty() ? QStringLiteral("(no cache location)")
                                                            : m_folder)
                                     << "- speech is not cached";
        return;
    }
    m_usable = true;
    const QFileInfoList files =
        QDir(m_folder).entryInfoList({QStringLiteral("*.speech")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &info : files) {
        if (!isEntryName(info.fileName()))
            continue;
        // The full check waits for a hit; a wrong length or header is plain now.
        QFile file(info.filePath());
        const bool readable = file.open(QIODevice::ReadOnly);
        const QByteArray head = readable ? file.read(magic.size()) : QByteArray();
        file.close();
        if (!wholePackets(info.size() - headerBytes) || head != magic) {
            qCWarning(lcCloud).noquote() << "cached speech" << info.filePath() << "is corrupt:" << info.size()
                                         << "bytes are not a header and whole packets - dropped";
            QFile::remove(info.filePath());
            continue;
        }
        m_entries.append({info.fileName(), info.size(), info.lastModified().toMSecsSinceEpoch()});
        m_bytes += info.size();
    }
    // Equal times (a coarse file system) fall back to the names, for a
    // stable order.
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry &a, const Entry &b) {
        return a.usedMs != b.usedMs ? a.usedMs < b.usedMs : a.name < b.name;
    });
    if (!m_entries.isEmpty())
        m_lastUseMs = m_entries.constLast().usedMs;
    trim();
    qCDebug(lcCloud).noquote() << "cached speech:" << m_entries.size() << "replies," << m_bytes << "bytes in"
                               << m_folder;
}

void SpeechCache::trim()
{
    while (!m_entries.isEmpty() && (m_entries.size() > m_maxReplies || m_bytes > m_maxBytes))
        drop(0);
}

void SpeechCache::drop(qsizetype index)
{
    const Entry entry = m_entries.takeAt(index);
    m_bytes -= entry.bytes;
    const QString path = m_folder + u'/' + entry.name;
    if (QFile::exists(path) && !QFile::remove(path))
        qCWarning(lcCloud).noquote() << "cannot remove cached speech" << path;
}

qsizetype SpeechCache::indexOf(const QString &name) const
{
    const auto it = std::find_if(m_entries.cbegin(), m_entries.cend(),
                                 [&name](const Entry &entry) { return entry.name == name; });
    return it == m_entries.cend() ? -1 : qsizetype(it - m_entries.cbegin());
}

qint64 SpeechCache::nextUse()
{
    // Strictly increasing, so that two uses in one millisecond keep their order.
    m_lastUseMs = std::max(QDateTime::currentMSecsSinceEpoch(), m_lastUseMs + 1);
    return m_lastUseMs;
}

} // namespace tolka::cloud
