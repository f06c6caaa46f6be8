#include "playbacklogging.h"

Q_LOGGING_CATEGORY(lcPlayback, "tolka.playback", QtInfoMsg)
