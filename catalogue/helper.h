#pragma once

#include <QMetaType>

// Languages, voices, labels and small utilities for QML, handed over as
// "helper". Holds no state of its own: all its data is constant.
class helper
{
    Q_GADGET
};
