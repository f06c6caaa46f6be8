#include "startup.h"

#include <QCoreApplication>
#include <QtQuickTest>

// Gives the QML tests the application identity that start-up sets.
class IdentitySetup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable() { tolka::setIdentity(*QCoreApplication::instance()); }
};

QUICK_TEST_MAIN_WITH_SETUP(identity, IdentitySetup)
#include "tst_identity.moc"
