#pragma once

#include "transcriptentry.h"

#include <QDate>
#include <QList>
#include <QString>

namespace tolka {

// The transcript on disk: one file of JSON lines per local day,
// transcript-YYYY-MM-DD.jsonl, in one folder. Each exchange is appended and
// synced to disk before append() returns, so a crash loses at most the line
// being written; such a torn line is skipped when loading. Every failure is
// logged (category tolka.transcript) with the path and the reason.
class TranscriptStore
{
public:
    explicit TranscriptStore(QString folder);

    [[nodiscard]] const QString &folder() const { return m_folder; }
    // The file that holds the exchanges of a local day.
    [[nodiscard]] QString fileFor(QDate day) const;

    // Creates the folder when needed. False when the entry is not on disk.
    [[nodiscard]] bool append(const TranscriptEntry &entry) const;
    // The newest maxEntries exchanges of every file, oldest first.
    [[nodiscard]] QList<TranscriptEntry> load(qsizetype maxEntries) const;
    // Removes every transcript file (other files in the folder stay).
    // True when none is left.
    [[nodiscard]] bool clear() const;

private:
    // The transcript files, oldest day first.
    [[nodiscard]] QStringList files() const;

    QString m_folder;
};

} // namespace tolka
