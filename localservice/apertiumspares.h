#pragma once

#include <QString>

#include <list>
#include <memory>
#include <mutex>
#include <utility>

class PipedProcess;

// Pipelines started ahead for the directions translated last, so that a
// translation does not wait for apertium to load its data: about half a
// second a pipeline here, against a tenth of a second for the translating.
// Safe to use from several threads at once.
class ApertiumSpares final
{
public:
    static constexpr int defaultCapacity = 4;

    explicit ApertiumSpares(int capacity = defaultCapacity);
    ~ApertiumSpares();

    // A started pipeline for the mode: the spare if one waits, else a new one.
    [[nodiscard]] std::unique_ptr<PipedProcess> take(const QString &dataDir, const QString &mode);
    // Starts a spare for the mode unless one waits; the spare of the mode
    // used longest ago goes when there are more than the capacity.
    void replenish(const QString &dataDir, const QString &mode);
    [[nodiscard]] int waiting() const;

private:
    [[nodiscard]] static std::unique_ptr<PipedProcess> start(const QString &dataDir, const QString &mode);

    const int m_capacity;
    mutable std::mutex m_mutex;
    // Most recently used first.
    std::list<std::pair<QString, std::unique_ptr<PipedProcess>>> m_spares;
};
