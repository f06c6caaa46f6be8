#include "transcriptexport.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace tolka {

namespace {

constexpr qint64 longestCueMs = 4000;
constexpr qint64 shortestCueMs = 1000;
constexpr qint64 msPerSecond = 1000;
constexpr qint64 msPerMinute = 60 * msPerSecond;
constexpr qint64 msPerHour = 60 * msPerMinute;

// The non-blank lines of a text, trimmed.
QStringList lines(const QString &text)
{
    QString unified = text;
    unified.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    QStringList result;
    for (const QString &line : unified.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            result.append(trimmed);
    }
    return result;
}

QString localTime(const QDateTime &time)
{
    return time.toLocalTime().toString(u"yyyy-MM-dd HH:mm:ss");
}

QString languages(const TranscriptEntry &entry)
{
    return entry.sourceLanguage + u" → "_s + entry.targetLanguage;
}

// Characters that mean something anywhere in a line (tables and
// strike-through included). ! ( ) mean something only next to [ and ],
// which are escaped.
bool isInlineSpecial(QChar c)
{
    return QStringView(u"\\`*_[]<>&|~").contains(c);
}

// Characters that make a block (heading, list, setext underline) only at
// the start of a line.
bool isLineStartSpecial(QChar c)
{
    return QStringView(u"#+-=").contains(c);
}

QString escapeMarkdownLine(const QString &line)
{
    QString escaped;
    escaped.reserve(line.size() * 2);
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (isInlineSpecial(c) || (i == 0 && isLineStartSpecial(c)))
            escaped.append(u'\\');
        escaped.append(c);
    }
    // "1. " or "1) " would start an ordered list.
    qsizetype digits = 0;
    while (digits < escaped.size() && escaped.at(digits).isDigit())
        ++digits;
    if (digits > 0 && digits < escaped.size() && (escaped.at(digits) == u'.' || escaped.at(digits) == u')'))
        escaped.insert(digits, u'\\');
    return escaped;
}

// The lines of a text joined by hard line breaks, each behind a prefix.
QString markdownLines(const QString &text, const QString &prefix)
{
    QStringList escaped;
    for (const QString &line : lines(text))
        escaped.append(prefix + escapeMarkdownLine(line));
    return escaped.join(u"\\\n"_s);
}

QString csvField(const QString &field)
{
    if (!field.contains(u',') && !field.contains(u'"') && !field.contains(u'\r') && !field.contains(u'\n'))
        return field;
    QString quoted = field;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

QString cueTime(qint64 ms)
{
    const auto number = [](qint64 value, int width) { return u"%1"_s.arg(value, width, 10, u'0'); };
    return number(ms / msPerHour, 2) + u':' + number(ms % msPerHour / msPerMinute, 2) + u':' +
           number(ms % msPerMinute / msPerSecond, 2) + u',' + number(ms % msPerSecond, 3);
}

} // namespace

QString TranscriptExport::plainText(const QList<TranscriptEntry> &entries)
{
    QString out;
    for (const TranscriptEntry &entry : entries) {
        out += localTime(entry.time) + u'\n' + languages(entry) + u'\n';
        for (const QString &line : lines(entry.sourceText) + lines(entry.translation))
            out += line + u'\n';
        out += u'\n';
    }
    return out;
}

QString TranscriptExport::markdown(const QList<TranscriptEntry> &entries)
{
    QString out = u"# Transcript\n"_s;
    for (const TranscriptEntry &entry : entries) {
        out +=
            u"\n**"_s + escapeMarkdownLine(localTime(entry.time) + u" · "_s + languages(entry)) + u"**\n"_s;
        if (const QString source = markdownLines(entry.sourceText, {}); !source.isEmpty())
            out += u'\n' + source + u'\n';
        if (const QString translation = markdownLines(entry.translation, u"> "_s); !translation.isEmpty())
            out += u'\n' + translation + u'\n';
    }
    return out;
}

QString TranscriptExport::csv(const QList<TranscriptEntry> &entries)
{
    const QString lineEnd = u"\r\n"_s;
    QString out = QChar(QChar::ByteOrderMark) +
                  u"time,direction,source language,target language,source text,translation,voice"_s + lineEnd;
    for (const TranscriptEntry &entry : entries) {
        const QStringList fields{isoUtc(entry.time),   entry.direction,  entry.sourceLanguage,
                                 entry.targetLanguage, entry.sourceText, entry.translation,
                                 entry.voice};
        QStringList quoted;
        for (const QString &field : fields)
            quoted.append(csvField(field));
        out += quoted.join(u',') + lineEnd;
    }
    return out;
}

QString TranscriptExport::timedText(const QList<TranscriptEntry> &entries)
{
    if (entries.isEmpty())
        return {};
    const QDateTime origin = entries.constFirst().time;
    const auto offset = [&origin](const TranscriptEntry &entry) {
        return qMax(qint64{0}, origin.msecsTo(entry.time));
    };
    QString out;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const qint64 start = offset(entries.at(i));
        qint64 end = start + longestCueMs;
        if (i + 1 < entries.size())
            end = qMin(end, offset(entries.at(i + 1)));
        end = qMax(end, start + shortestCueMs);
        if (i > 0)
            out += u'\n';
        out += QString::number(i + 1) + u'\n' + cueTime(start) + u" --> "_s + cueTime(end) + u'\n';
        for (const QString &line : lines(entries.at(i).sourceText) + lines(entries.at(i).translation))
            out += line + u'\n';
    }
    return out;
}

std::optional<QString> TranscriptExport::format(const QList<TranscriptEntry> &entries, QStringView kind)
{
    if (kind == u"text")
        return plainText(entries);
    if (kind == u"markdown")
        return markdown(entries);
    if (kind == u"csv")
        return csv(entries);
    if (kind == u"srt")
        return timedText(entries);
    return std::nullopt;
}

} // namespace tolka
