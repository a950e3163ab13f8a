#pragma once

#include "ExportFormat.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
}

// What one file format needs from the shared encode pipeline: its container and codec, the
// codec's sample format and rate, and its bit rate or quality.
struct EncoderProfile {
    const char* muxer;
    const char* encoder;
    AVSampleFormat sampleFormat;
    // The rate to encode a source of `sourceRate` at; others are resampled to it.
    int (*outputRate)(const AVCodec& codec, int sourceRate);
    // Bit rate or quality on the encoder, and the container's own options.
    void (*configure)(AVCodecContext& encoder, AVDictionary** muxerOptions);
};

const EncoderProfile& encoderProfileFor(ExportFormat format);
