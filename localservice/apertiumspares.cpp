#include "apertiumspares.h"

#include "pipedprocess.h"

#include <algorithm>

namespace {

QString keyOf(const QString &dataDir, const QString &mode)
{
    return dataDir + u'\n' + mode;
}

} // namespace

ApertiumSpares::ApertiumSpares(int capacity) : m_capacity(std::max(0, capacity))
{}

ApertiumSpares::~ApertiumSpares() = default;

std::unique_ptr<PipedProcess> ApertiumSpares::start(const QString &dataDir, const QString &mode)
{
    // -u: unknown words pass unmarked; txt: plain text in and out.
    return std::make_unique<PipedProcess>(
        QStringLiteral("apertium"), QStringList{QStringLiteral("-u"), QStringLiteral("-f"),
                                                QStringLiteral("txt"), QStringLiteral("-d"), dataDir, mode});
}

std::unique_ptr<PipedProcess> ApertiumSpares::take(const QString &dataDir, const QString &mode)
{
    std::unique_ptr<PipedProcess> spare;
    {
        std::lock_guard lock(m_mutex);
        const QString key = keyOf(dataDir, mode);
        const auto found = std::ranges::find_if(m_spares, [&](const auto &s) { return s.first == key; });
        if (found != m_spares.end()) {
            spare = std::move(found->second);
            m_spares.erase(found);
        }
    }
    // A spare that ended on its own (killed from outside) is no use.
    if (spare && spare->waiting())
        return spare;
    return start(dataDir, mode);
}

void ApertiumSpares::replenish(const QString &dataDir, const QString &mode)
{
    if (m_capacity == 0)
        return;
    const QString key = keyOf(dataDir, mode);
    {
        std::lock_guard lock(m_mutex);
        if (std::ranges::any_of(m_spares, [&](const auto &s) { return s.first == key; }))
            return;
    }
    auto spare = start(dataDir, mode);
    if (!spare->started())
        return;
    std::unique_ptr<PipedProcess> dropped;
    std::lock_guard lock(m_mutex);
    if (std::ranges::any_of(m_spares, [&](const auto &s) { return s.first == key; }))
        return; // another thread was first; this one goes when it leaves scope
    m_spares.emplace_front(key, std::move(spare));
    if (int(m_spares.size()) > m_capacity) {
        dropped = std::move(m_spares.back().second);
        m_spares.pop_back();
    }
}

int ApertiumSpares::waiting() const
{
    std::lock_guard lock(m_mutex);
    return int(m_spares.size());
}
