#pragma once

#include <QByteArray>

// Recognition that starts with the recording: the recording's pages go to
// the service as the encoder makes them (see StreamedUpload), so that it
// can recognise while the user speaks and answer right after the end.
// Whatever goes wrong with the streamed request, the whole recording is
// sent as before, with the backup key when one is due.
namespace tolka::cloud {

// The hub's recordingPages: a recording's pages as they are made.
void takeRecordingPages(const QByteArray &pages);

// The whole recording is there. True when the streamed request takes it
// (its reply then comes as any recognition's); false when it must be sent
// whole.
[[nodiscard]] bool finishStreamedRecognition(const QByteArray &recording, const QByteArray &language);

// On by default; TOLKA_STREAM_RECORDINGS=0 turns it off (for comparisons).
[[nodiscard]] bool streamedRecognitionEnabled();
void setStreamedRecognitionEnabled(bool enabled);

} // namespace tolka::cloud
