#pragma once

#include "engines.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class ApertiumSpares;

// Translates with apertium's language pairs as installed (modes under the
// data folder). A pair with no direct mode goes through a pivot language
// (English first, then Spanish, then any) when both steps are installed.
// Each translation runs the pair's pipeline as a process, started ahead
// where the direction was used before; unknown words pass through unmarked.
class ApertiumTranslation final : public TranslationEngine
{
public:
    // One installed translation direction.
    struct Direction
    {
        QString mode;        // apertium's name, e.g. "eng-cat_valencia"
        QString from;        // ISO 639-1 language, e.g. "en"
        QString to;          // ISO 639-1 language
        QString fromVariant; // e.g. "" or "BR", "HR", "valencia"
        QString toVariant;
        QString dataDir; // folder whose modes/ holds the mode
    };

    explicit ApertiumTranslation(const QString &dataDir = QStringLiteral("/usr/share/apertium"));
    ~ApertiumTranslation() override;

    EngineResult<QString> translate(const QString &text, const QString &from, const QString &to,
                                    QDeadlineTimer deadline) override;

    [[nodiscard]] const QList<Direction> &directions() const { return m_directions; }
    // The modes that take a text from one locale to another: one for a
    // direct pair, two through a pivot, none when there is no way.
    [[nodiscard]] QList<Direction> route(const QString &fromLocale, const QString &toLocale) const;
    // Every language pair that route() serves, as "from>to" (with "via"
    // for pivots), for listing.
    [[nodiscard]] QStringList pairs() const;

    // The language part of a locale or translator code: "en-US" -> "en".
    [[nodiscard]] static QString languageOf(const QString &code);

private:
    [[nodiscard]] std::optional<Direction> best(const QString &fromLocale, const QString &toLocale) const;
    [[nodiscard]] EngineResult<QString> run(const Direction &direction, const QString &text,
                                            QDeadlineTimer deadline) const;
    void addMode(const QString &name, const QString &dataDir);
    void addMissingModes(const QString &dataDir);

    QList<Direction> m_directions;
    std::unique_ptr<QTemporaryDir> m_extraModes;
    std::unique_ptr<ApertiumSpares> m_spares;
};
