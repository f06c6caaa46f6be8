#pragma once

#include "transcriptentry.h"

#include <QTimeZone>

// An exchange at a UTC time, for the store and the gadget's tests.
inline tolka::TranscriptEntry sampleEntry(const QString &isoUtc, const QString &text)
{
    tolka::TranscriptEntry entry;
    entry.time = QDateTime::fromString(isoUtc, Qt::ISODateWithMs).toTimeZone(QTimeZone::UTC);
    entry.direction = QStringLiteral("forward");
    entry.sourceLanguage = QStringLiteral("en-US");
    entry.targetLanguage = QStringLiteral("fr-FR");
    entry.sourceText = text;
    entry.translation = QStringLiteral("« ") + text + QStringLiteral(" »");
    entry.voice = QStringLiteral("fr-FR-DeniseNeural");
    return entry;
}
