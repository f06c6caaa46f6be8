#include "oggopusprobe.h"

#include <opusfile.h>

#include <memory>

namespace {

QString openError(int error)
{
    switch (error) {
    case OP_ENOTFORMAT:
        return QStringLiteral("not an Ogg Opus stream");
    case OP_EBADHEADER:
        return QStringLiteral("a malformed Opus header");
    case OP_EVERSION:
        return QStringLiteral("an unknown Opus header version");
    case OP_EBADLINK:
    case OP_EBADTIMESTAMP:
        return QStringLiteral("a broken Ogg stream");
    default:
        return QStringLiteral("an unreadable Ogg Opus stream (error %1)").arg(error);
    }
}

} // namespace

std::variant<qint64, QString> probeOggOpus(const QByteArray &stream)
{
    int error = 0;
    const std::unique_ptr<OggOpusFile, decltype(&op_free)> file(
        op_open_memory(reinterpret_cast<const unsigned char *>(stream.constData()), size_t(stream.size()),
                       &error),
        &op_free);
    if (!file)
        return openError(error);
    const ogg_int64_t samples = op_pcm_total(file.get(), -1);
    if (samples < 0)
        return openError(int(samples));
    return qint64(samples);
}
