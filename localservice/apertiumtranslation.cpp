#include "apertiumtranslation.h"

#include "apertiumspares.h"
#include "pipedprocess.h"
#include "servicelogging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Debian's apertium-eng-spa ships the data of both directions but the mode
// of only one; this is English to Spanish, in the pair's own pipeline.
constexpr QLatin1StringView engSpaMode{
    "lt-proc -w '%1/eng-spa.automorf.bin' | apertium-tagger -g $2 '%1/eng-spa.prob' | apertium-pretransfer"
    " | apertium-transfer -n '%1/apertium-eng-spa.eng-spa.genitive.t1x' '%1/eng-spa.genitive.bin'"
    " | lt-proc -b '%1/eng-spa.autobil.bin' | lrx-proc -m '%1/eng-spa.autolex.bin'"
    " | apertium-transfer -b '%1/apertium-eng-spa.eng-spa.t1x' '%1/eng-spa.t1x.bin'"
    " | apertium-interchunk '%1/apertium-eng-spa.eng-spa.t2x' '%1/eng-spa.t2x.bin'"
    " | apertium-postchunk '%1/apertium-eng-spa.eng-spa.t3x' '%1/eng-spa.t3x.bin'"
    " | lt-proc $1 '%1/eng-spa.autogen.bin' | lt-proc -p '%1/eng-spa.autopgen.bin'\n"};

// apertium's language codes (ISO 639-1 or -3) as ISO 639-1 codes; the
// Serbo-Croatian data serve Serbian, Croatian and Bosnian.
QStringList isoLanguages(const QString &code)
{
    if (code == QLatin1String("hbs"))
        return {QStringLiteral("sr"), QStringLiteral("hr"), QStringLiteral("bs")};
    if (code == QLatin1String("zlm"))
        return {QStringLiteral("ms")};
    if (code == QLatin1String("nob"))
        return {QStringLiteral("nb")};
    if (code == QLatin1String("nno"))
        return {QStringLiteral("nn")};
    if (code.size() == 2)
        return {code};
    const QLocale::Language language =
        QLocale::codeToLanguage(code, QLocale::ISO639Part2 | QLocale::ISO639Part3);
    const QString iso1 = QLocale::languageToCode(language, QLocale::ISO639Part1);
    if (language == QLocale::AnyLanguage || iso1.isEmpty())
        return {};
    return {iso1};
}

// The variant a locale would want: the Serbo-Croatian standard for sr, hr
// and bs ("SR", "HR", "BS"), otherwise its region ("BR" for pt-BR).
QString wantedVariant(const QString &locale)
{
    const QString language = ApertiumTranslation::languageOf(locale);
    if (language == QLatin1String("sr") || language == QLatin1String("hr") || language == QLatin1String("bs"))
        return language.toUpper();
    const QStringList parts = locale.split(u'-');
    return parts.size() > 1 ? parts.last() : QString();
}

int variantScore(const QString &variant, const QString &wanted)
{
    if (!variant.isEmpty() && variant.compare(wanted, Qt::CaseInsensitive) == 0)
        return 2;
    return variant.isEmpty() ? 1 : 0;
}

EngineFailure unsupported(const QString &code, const QString &message)
{
    return {400, code, message};
}

} // namespace

ApertiumTranslation::ApertiumTranslation(const QString &dataDir)
    : m_spares(std::make_unique<ApertiumSpares>())
{
    const QDir modes(dataDir + QStringLiteral("/modes"));
    const QStringList files = modes.entryList({QStringLiteral("*.mode")}, QDir::Files, QDir::Name);
    for (const QString &file : files)
        addMode(QFileInfo(file).completeBaseName(), dataDir);
    addMissingModes(dataDir);
    if (m_directions.isEmpty())
        qCWarning(lcLocalService) << "no apertium language pair in" << dataDir;
}

ApertiumTranslation::~ApertiumTranslation() = default;

void ApertiumTranslation::addMode(const QString &name, const QString &dataDir)
{
    // "eng-cat", "eng-cat_valencia", "es-pt_BR"; not "gl-pt-latin1",
    // "hbs-mkd-pretransfer" or "Cyrl-Latn", which are not plain pairs.
    static const QRegularExpression pattern(
        QStringLiteral("^([a-z]{2,3})(?:_([A-Za-z0-9]+))?-([a-z]{2,3})(?:_([A-Za-z0-9_]+))?$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return;
    for (const QString &from : isoLanguages(match.captured(1))) {
        for (const QString &to : isoLanguages(match.captured(3))) {
            if (from != to)
                m_directions.append({name, from, to, match.captured(2), match.captured(4), dataDir});
        }
    }
}

void ApertiumTranslation::addMissingModes(const QString &dataDir)
{
    const QString pairDir = dataDir + QStringLiteral("/apertium-eng-spa");
    const bool haveMode = std::ranges::any_of(
        m_directions, [](const Direction &d) { return d.mode == QLatin1String("eng-spa"); });
    if (haveMode || !QFile::exists(pairDir + QStringLiteral("/eng-spa.autogen.bin")))
        return;
    m_extraModes = std::make_unique<QTemporaryDir>();
    if (!m_extraModes->isValid() || !QDir(m_extraModes->path()).mkpath(QStringLiteral("modes")))
        return;
    QFile mode(m_extraModes->filePath(QStringLiteral("modes/eng-spa.mode")));
    if (!mode.open(QIODevice::WriteOnly) || mode.write(QString(engSpaMode).arg(pairDir).toUtf8()) < 0)
        return;
    mode.close();
    addMode(QStringLiteral("eng-spa"), m_extraModes->path());
}

QString ApertiumTranslation::languageOf(const QString &code)
{
    return code.section(u'-', 0, 0).toLower();
}

std::optional<ApertiumTranslation::Direction> ApertiumTranslation::best(const QString &fromLocale,
                                                                        const QString &toLocale) const
{
    const QString from = languageOf(fromLocale);
    const QString to = languageOf(toLocale);
    const QString fromWanted = wantedVariant(fromLocale);
    const QString toWanted = wantedVariant(toLocale);
    std::optional<Direction> chosen;
    int chosenScore = -1;
    for (const Direction &d : m_directions) {
        if (d.from != from || d.to != to)
            continue;
        const int score = 3 * variantScore(d.toVariant, toWanted) + variantScore(d.fromVariant, fromWanted);
        if (score > chosenScore) {
            chosen = d;
            chosenScore = score;
        }
    }
    return chosen;
}

QList<ApertiumTranslation::Direction> ApertiumTranslation::route(const QString &fromLocale,
                                                                 const QString &toLocale) const
{
    if (const auto direct = best(fromLocale, toLocale))
        return {*direct};
    QStringList pivots{QStringLiteral("en"), QStringLiteral("es")};
    for (const Direction &d : m_directions) {
        if (!pivots.contains(d.to))
            pivots.append(d.to);
    }
    const QString from = languageOf(fromLocale);
    const QString to = languageOf(toLocale);
    for (const QString &pivot : std::as_const(pivots)) {
        if (pivot == from || pivot == to)
            continue;
        const auto first = best(fromLocale, pivot);
        const auto second = first ? best(pivot, toLocale) : std::nullopt;
        if (first && second)
            return {*first, *second};
    }
    return {};
}

QStringList ApertiumTranslation::pairs() const
{
    QStringList languages;
    for (const Direction &d : m_directions) {
        if (!languages.contains(d.from))
            languages.append(d.from);
        if (!languages.contains(d.to))
            languages.append(d.to);
    }
    languages.sort();
    QStringList out;
    for (const QString &from : std::as_const(languages)) {
        for (const QString &to : std::as_const(languages)) {
            if (from == to)
                continue;
            const QList<Direction> steps = route(from, to);
            if (steps.size() == 1)
                out.append(QStringLiteral("%1>%2").arg(from, to));
            else if (steps.size() == 2)
                out.append(QStringLiteral("%1>%2 via %3").arg(from, to, steps.constFirst().to));
        }
    }
    return out;
}

EngineResult<QString> ApertiumTranslation::translate(const QString &text, const QString &from,
                                                     const QString &to, QDeadlineTimer deadline)
{
    const QString source = languageOf(from);
    const QString target = languageOf(to);
    if (source.isEmpty())
        return std::unexpected(unsupported(
            QStringLiteral("400035"),
            QStringLiteral(
                "The source language is not valid: offline translation needs a source language.")));
    if (source == target)
        return text;
    const QList<Direction> steps = route(from, to);
    if (steps.isEmpty()) {
        const bool knownSource =
            std::ranges::any_of(m_directions, [&](const Direction &d) { return d.from == source; });
        return std::unexpected(unsupported(
            knownSource ? QStringLiteral("400036") : QStringLiteral("400035"),
            QStringLiteral("The %1 language is not valid: no offline translation from %2 to %3.")
                .arg(knownSource ? QStringLiteral("target") : QStringLiteral("source"), from, to)));
    }
    QString current = text;
    for (const Direction &step : steps) {
        auto translated = run(step, current, deadline);
        if (!translated)
            return translated;
        current = *translated;
    }
    return current;
}

EngineResult<QString> ApertiumTranslation::run(const Direction &direction, const QString &text,
                                               QDeadlineTimer deadline) const
{
    const std::unique_ptr<PipedProcess> process = m_spares->take(direction.dataDir, direction.mode);
    if (!process->started()) {
        qCWarning(lcLocalService) << "cannot run apertium:" << process->startError();
        return std::unexpected(EngineFailure{503, QStringLiteral("503"),
                                             QStringLiteral("The translation engine is not available.")});
    }
    const auto output = process->finish(text.toUtf8(), deadline);
    // The next translation this way finds its pipeline loaded.
    m_spares->replenish(direction.dataDir, direction.mode);
    if (!output && output.error() == PipedProcess::Failure::Deadline)
        return std::unexpected(deadlinePassed());
    if (!output || output->exitCode != 0) {
        qCWarning(lcLocalService) << "apertium" << direction.mode << "failed:"
                                  << (output ? output->err.trimmed() : QByteArray("cannot talk to it"));
        return std::unexpected(
            EngineFailure{500, QStringLiteral("500"), QStringLiteral("The translation engine failed.")});
    }
    return QString::fromUtf8(output->out).trimmed();
}
