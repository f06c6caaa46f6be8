#pragma once

#include <QObject>

// The object that playback control runs on: the render device reports the
// end of each playback to it.
class player : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void playbackFinished() = 0;
};
