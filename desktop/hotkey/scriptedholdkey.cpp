#include "scriptedholdkey.h"

using namespace Qt::StringLiterals;

QString ScriptedHoldKey::backend() const
{
    return u"scripted"_s;
}

void ScriptedHoldKey::grab(QKeyCombination key)
{
    grabbed.append(key);
    setStatus(bindStatus);
}
