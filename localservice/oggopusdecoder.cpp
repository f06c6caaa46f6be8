#include "oggopusdecoder.h"

#include "servicelogging.h"

#include <opusfile.h>

#include <array>
#include <memory>

std::optional<std::vector<float>> decodeOggOpus(const QByteArray &stream)
{
    int error = 0;
    const std::unique_ptr<OggOpusFile, decltype(&op_free)> file(
        op_open_memory(reinterpret_cast<const unsigned char *>(stream.constData()), size_t(stream.size()),
                       &error),
        &op_free);
    if (!file) {
        qCWarning(lcLocalService) << "not an Ogg Opus stream (opusfile error" << error << ")";
        return std::nullopt;
    }
    std::vector<float> mono;
    std::array<float, 5760 * 2> buffer{}; // 120 ms of stereo, the most one call returns
    for (;;) {
        int link = 0;
        const int frames = op_read_float(file.get(), buffer.data(), int(buffer.size()), &link);
        if (frames == OP_HOLE)
            continue; // a gap in the stream: keep what follows
        if (frames < 0) {
            qCWarning(lcLocalService)
                << "Ogg Opus stream broken after" << mono.size() << "samples (error" << frames << ")";
            if (mono.empty())
                return std::nullopt;
            break;
        }
        if (frames == 0)
            break;
        const int channels = op_channel_count(file.get(), link);
        for (int i = 0; i < frames; ++i) {
            float sum = 0.0f;
            for (int c = 0; c < channels; ++c)
                sum += buffer[size_t(i * channels + c)];
            mono.push_back(sum / float(channels));
        }
    }
    return mono;
}
