#pragma once

#include <QQmlAbstractUrlInterceptor>
#include <QUrl>

// Sends the engine to the lighter replacements in ":/effects/" whenever any
// module asks for one of the style's files "Calendar.qml",
// "CheckIndicator.qml", "ElevationEffect.qml" or "RoundedElevationEffect.qml"
// (the last two share one replacement). Everything else passes unchanged.
class urlInterceptor final : public QQmlAbstractUrlInterceptor
{
public:
    urlInterceptor() = default;
    ~urlInterceptor() override = default;
    urlInterceptor(const urlInterceptor &) = delete;
    urlInterceptor &operator=(const urlInterceptor &) = delete;

    [[nodiscard]] QUrl intercept(const QUrl &url, DataType type) override;
};
