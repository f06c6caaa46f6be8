#include "transcriptlogging.h"

Q_LOGGING_CATEGORY(lcTranscript, "tolka.transcript", QtInfoMsg)
