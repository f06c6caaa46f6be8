#pragma once

#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>

// The conversation's transcript for QML, handed over as "transcript": the
// exchanges kept on disk (when the user's history switch is on) and their
// export. A gadget without data members: the store is the folder, so all
// copies behave alike. An exchange is a map with the keys "time" (ISO 8601,
// UTC, with milliseconds), "direction" ("forward" or "backward"),
// "sourceLanguage", "targetLanguage", "sourceText", "translation" and
// "voice" (empty when the translation was not spoken).
//
// Nothing here throws; what fails is logged (category tolka.transcript) and
// reported by the result.
class transcript
{
    Q_GADGET

public:
    constexpr transcript() = default;

    // The stored exchanges, the newest maxEntries of them, oldest first.
    [[nodiscard]] Q_INVOKABLE QVariantList load(int maxEntries = defaultLoadCount) const;
    // Stores one exchange on disk; false when it is refused or not written.
    Q_INVOKABLE bool append(const QVariantMap &entry);
    // Removes the stored transcript; false when a file could not be removed.
    Q_INVOKABLE bool clear();
    // The exchanges as a document: kind "text", "markdown", "csv" or "srt".
    // Exchanges that are not valid maps are left out; an unknown kind gives
    // an empty string.
    [[nodiscard]] Q_INVOKABLE QString format(const QVariantList &entries, const QString &kind) const;
    // Writes format(entries, kind) to a local file as UTF-8, replacing it
    // whole or not at all.
    Q_INVOKABLE bool exportTo(const QUrl &file, const QVariantList &entries, const QString &kind) const;
    // Where the transcript files are: $TOLKA_TRANSCRIPT_DIR when set, else
    // the folder "transcript" in the application's data folder.
    [[nodiscard]] Q_INVOKABLE QString folder() const;

    static constexpr int defaultLoadCount = 1000;
};
