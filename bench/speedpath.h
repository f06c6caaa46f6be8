#pragma once

#include "clientstate.h"
#include "eventwait.h"
#include "frame.h"
#include "quickconnections.h"
#include "streamedrecognition.h"
#include "synthesis.h"

#include <QNetworkReply>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

// What the speed benchmarks share: the old way or the new way for the next
// run, switched in the running client, and the median of a series.
namespace speedpath {

// Old: the recording sent whole after the release, Nagle's algorithm on,
// the reply played once all there. New: the recording streamed while it is
// spoken, TCP_NODELAY, the reply played as it arrives.
inline void choose(bool streamed)
{
    using namespace tolka::cloud;
    setStreamedRecognitionEnabled(streamed);
    setLowDelayEnabled(streamed);
    setWholeReplies(!streamed);
    // New connections, so that the Nagle setting applies to them all, opened
    // before they are needed as at start-up.
    clientState().networkManager->clearConnectionCache();
    preconnect();
    // And used once, as after the first utterance of a session: the first
    // exchange on a new connection also settles its HTTP/2 set-up.
    QNetworkRequest probe(clientState().translateUrl.adjusted(QUrl::RemoveQuery | QUrl::RemovePath));
    probe.setAttribute(QNetworkRequest::Http2AllowedAttribute, true);
    const std::unique_ptr<QNetworkReply> reply(clientState().networkManager->get(probe));
    if (!runUntil([&] { return reply->isFinished(); }, 5000))
        qWarning("the service did not answer the warm-up request");
    quickenConnectionsTo(clientState().translateUrl);
}

[[nodiscard]] inline double median(std::vector<double> values)
{
    std::ranges::sort(values);
    return values.empty() ? 0.0 : values[values.size() / 2];
}

} // namespace speedpath
