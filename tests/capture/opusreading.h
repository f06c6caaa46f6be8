#pragma once

#include <QByteArray>

#include <opusfile.h>

#include <vector>

// Decodes an in-memory Ogg Opus stream with libopusfile, which checks the
// pages and applies the header's output gain. Samples are floats in
// [-1, 1] (and beyond, when the gain lifts them) scaled to 16-bit units.
struct DecodedOpus
{
    int error = 0;
    int channels = 0;
    int outputGain = 0;
    int preSkip = 0;
    quint32 inputRate = 0;
    ogg_int64_t pcmTotal = 0;
    std::vector<double> samples;
};

inline DecodedOpus decodeWithOpusfile(const QByteArray &stream)
{
    DecodedOpus result;
    OggOpusFile *file = op_open_memory(reinterpret_cast<const unsigned char *>(stream.constData()),
                                       std::size_t(stream.size()), &result.error);
    if (!file)
        return result;
    const OpusHead *head = op_head(file, -1);
    result.channels = head->channel_count;
    result.outputGain = head->output_gain;
    result.preSkip = int(head->pre_skip);
    result.inputRate = head->input_sample_rate;
    result.pcmTotal = op_pcm_total(file, -1);
    float buffer[5760];
    for (;;) {
        const int read = op_read_float(file, buffer, 5760, nullptr);
        if (read < 0) {
            result.error = read;
            break;
        }
        if (read == 0)
            break;
        for (int i = 0; i < read * result.channels; ++i)
            result.samples.push_back(double(buffer[i]) * 32768.0);
    }
    op_free(file);
    return result;
}
