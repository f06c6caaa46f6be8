#include "micpermission.h"

#include <QCoreApplication>
#include <QPermissions>

namespace micpermission {
namespace {
Hooks &hooks()
{
    static Hooks installed;
    return installed;
}
} // namespace

Qt::PermissionStatus status()
{
    if (hooks().status)
        return hooks().status();
#if defined(Q_OS_LINUX)
    return Qt::PermissionStatus::Granted;
#else
    if (!QCoreApplication::instance())
        return Qt::PermissionStatus::Undetermined;
    return QCoreApplication::instance()->checkPermission(QMicrophonePermission{});
#endif
}

void request()
{
    if (hooks().request) {
        hooks().request();
        return;
    }
#if !defined(Q_OS_LINUX)
    if (QCoreApplication *app = QCoreApplication::instance())
        app->requestPermission(QMicrophonePermission{}, [](const QPermission &) {});
#endif
}

void setHooks(Hooks installed)
{
    hooks() = std::move(installed);
}

} // namespace micpermission
