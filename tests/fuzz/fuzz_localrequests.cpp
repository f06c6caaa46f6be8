// The local service's reading of what a client sends: an HTTP/1.1 head,
// an Ogg Opus upload, an SSML prosody rate. The first byte chooses which.
#include "fuzzcheck.h"
#include "http1head.h"
#include "oggopusprobe.h"
#include "validation.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    switch (data[0] % 4) {
    case 0: {
        bool malformed = false;
        const std::optional<Http1Head> head = parseHttp1Head(bytes, &malformed);
        if (head) {
            TOLKA_FUZZ_CHECK(!malformed);
            TOLKA_FUZZ_CHECK(head->size > 0 && head->size <= bytes.size());
        }
        break;
    }
    case 1: {
        const auto probed = probeOggOpus(bytes);
        if (const auto *samples = std::get_if<qint64>(&probed))
            TOLKA_FUZZ_CHECK(*samples >= 0);
        break;
    }
    case 2: {
        const auto checked = checkRecognitionAudio(bytes);
        if (const auto *refused = std::get_if<Rejection>(&checked))
            TOLKA_FUZZ_CHECK(refused->status >= 400 && refused->status < 600 && !refused->body.isEmpty());
        break;
    }
    default: {
        if (const std::optional<double> rate = prosodyRate(QString::fromUtf8(bytes)))
            TOLKA_FUZZ_CHECK(*rate > 0 && std::isfinite(*rate));
        break;
    }
    }
    return 0;
}
