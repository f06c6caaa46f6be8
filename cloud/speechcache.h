#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tolka::cloud {

// What a synthesis reply is known by: everything in its document that
// changes the speech, the rate as the document writes it ("0.80").
struct SpeechKey
{
    QByteArray language;
    QByteArray voice;
    QByteArray rate;
    QByteArray text;
    // Which engines spoke it: the cloud's voices and the local stand-in's
    // offline ones sound different under the same names.
    QByteArray service;
};

// Synthesised replies kept on disk, so that speech heard before can be
// spoken again without asking the service. One file per reply, named by the
// SHA-256 of its key and written whole or not at all; bounded by count and
// total size, the least recently used dropped first. The order of use is
// kept as the files' modification times, so bounds and order hold across
// restarts. GUI thread only, like the rest of the client's state; a file
// that another process removes is only a miss.
class SpeechCache
{
public:
    static constexpr int defaultMaxReplies = 50;
    static constexpr qint64 defaultMaxBytes = 20 * 1024 * 1024;

    // The application's cache location + "/speech"; empty when the system
    // has no cache location.
    [[nodiscard]] static QString defaultFolder();

    // Takes over what the folder holds (made when missing), dropping corrupt
    // files and whatever lies beyond the bounds.
    explicit SpeechCache(const QString &folder = defaultFolder(), int maxReplies = defaultMaxReplies,
                         qint64 maxBytes = defaultMaxBytes);

    // The reply stored under key, now the most recently used; nothing when
    // there is none, or when its file is unreadable or corrupt (then dropped).
    [[nodiscard]] std::optional<QByteArray> find(const SpeechKey &key);
    // Keeps a complete reply (whole 60-byte packets, at least one) as the
    // most recently used and drops the least recently used beyond the
    // bounds. False when refused or not written; nothing changes then.
    bool store(const SpeechKey &key, const QByteArray &audio);

    [[nodiscard]] bool contains(const SpeechKey &key) const;
    [[nodiscard]] int count() const { return int(m_entries.size()); }
    // Of the files, headers included: what the size bound counts.
    [[nodiscard]] qint64 bytes() const { return m_bytes; }
    [[nodiscard]] const QString &folder() const { return m_folder; }
    [[nodiscard]] QString pathOf(const SpeechKey &key) const;
    // The SHA-256 (hex) of the key's fields, each preceded by its length.
    [[nodiscard]] static QString fileNameOf(const SpeechKey &key);

private:
    struct Entry
    {
        QString name;
        qint64 bytes = 0;
        qint64 usedMs = 0; // the file's modification time
    };

    void load();
    void trim();
    void drop(qsizetype index);
    [[nodiscard]] qsizetype indexOf(const QString &name) const;
    [[nodiscard]] qint64 nextUse();

    QString m_folder;
    int m_maxReplies;
    qint64 m_maxBytes;
    bool m_usable = false;
    QList<Entry> m_entries; // least recently used first
    qint64 m_bytes = 0;
    qint64 m_lastUseMs = 0;
};

} // namespace tolka::cloud
