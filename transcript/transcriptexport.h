#pragma once

#include "transcriptentry.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace tolka {

// The transcript as a document to save or share. Pure functions of the
// entries, in the order given. Local times are the system's time zone.
// Line breaks in the texts: kept in CSV; elsewhere each text is split into
// its lines, each trimmed, and blank ones dropped, so that no text can end a
// block of the document's structure.
class TranscriptExport
{
public:
    TranscriptExport() = delete;

    // Per exchange: local time, "en-US → fr-FR", the source text, the
    // translation and a blank line.
    [[nodiscard]] static QString plainText(const QList<TranscriptEntry> &entries);
    // A heading, then per exchange a bold line of time and languages, the
    // source as a paragraph and the translation as a block quote. Markdown's
    // special characters in the texts are escaped.
    [[nodiscard]] static QString markdown(const QList<TranscriptEntry> &entries);
    // RFC 4180 with a header row and CRLF line ends, times in UTC. Starts with
    // a byte order mark, so that spreadsheet programs read it as UTF-8.
    [[nodiscard]] static QString csv(const QList<TranscriptEntry> &entries);
    // Numbered subtitle cues (SubRip's form): each starts at its exchange's
    // time after the first exchange and lasts until the next one starts, at
    // least 1 s and at most 4 s; the source line, then the translation.
    [[nodiscard]] static QString timedText(const QList<TranscriptEntry> &entries);

    // kind: "text", "markdown", "csv" or "srt"; nothing for any other.
    [[nodiscard]] static std::optional<QString> format(const QList<TranscriptEntry> &entries,
                                                       QStringView kind);
};

} // namespace tolka
