#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// The result type of helper::getShadow: one map per shadow layer, usable as a
// Repeater model. Known to the meta-type system under this name.
using QvhList = QList<QMap<QString, QVariant>>;

// Languages, voices, labels and small utilities for QML, handed over as
// "helper". A gadget without data members: every piece
// of state lives in process-wide caches, so all copies behave alike.
//
// QML never sees a C++ exception: each invokable method catches
// std::exception, logs a warning (category tolka.catalogue) naming the method
// and its argument, and returns an empty result (the member count for
// findLocaleIndex). The throwing rules themselves are in namespace
// tolka::catalogue (catalogue.h).
class helper
{
    Q_GADGET

public:
    constexpr helper() = default;

    // The meta-object order below is fixed: QML and the tests rely on it.
    Q_INVOKABLE QByteArrayList sortHistory(QByteArrayList list, QByteArray text) const;
    Q_INVOKABLE bool compare(QByteArrayList a, QByteArrayList b) const;
    Q_INVOKABLE QVariantMap extractVoices(QByteArray language) const;
    Q_INVOKABLE QByteArray findLocaleValue(QByteArray name) const;
    Q_INVOKABLE qsizetype findLocaleIndex(QByteArray code) const;
    Q_INVOKABLE QByteArray getCurrentLang(bool languageOnly) const;
    Q_INVOKABLE bool isDesktop() const;
    Q_INVOKABLE QVariantMap getStore(QByteArray productType) const;
    Q_INVOKABLE QvhList getShadow(qsizetype elevation, qsizetype maxElevation) const;
    Q_INVOKABLE QByteArray getBaseLabel(qsizetype id) const;
    Q_INVOKABLE QByteArrayList contributors() const;
    Q_INVOKABLE QByteArrayList getBaseModel() const;
    Q_INVOKABLE QByteArray getRawLabel(qsizetype id) const;

    // The interface language key of a locale code (`languageKey`).
    static QByteArray languageKey(QByteArrayView code);
};
