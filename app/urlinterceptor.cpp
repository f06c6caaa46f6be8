#include "urlinterceptor.h"

#include <QString>

#include <array>

QUrl urlInterceptor::intercept(const QUrl &url, DataType type)
{
    // Scripts, directory files and URL strings are never redirected.
    if (type != QmlFile)
        return url;

    static const std::array<QString, 4> names{
        QStringLiteral("Calendar.qml"),
        QStringLiteral("CheckIndicator.qml"),
        QStringLiteral("ElevationEffect.qml"),
        QStringLiteral("RoundedElevationEffect.qml"),
    };
    const QString name = url.fileName(QUrl::FullyDecoded);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (name != names[i])
            continue;
        QUrl replacement;
        replacement.setScheme(QStringLiteral("qrc"));
        // Both shadow effects use the same shader-based replacement.
        replacement.setPath(i < 2 ? QStringLiteral("/effects/") + name
                                  : QStringLiteral("/effects/ElevationEffect.qml"),
                            QUrl::DecodedMode);
        return replacement;
    }
    return url;
}
