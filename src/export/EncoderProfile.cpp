#include "EncoderProfile.h"

#include <algorithm>
#include <span>

namespace {

// The rates a codec takes, or none when it takes any. FFmpeg 7.1 asks through
// avcodec_get_supported_config and deprecates the codec's own list.
std::span<const int> supportedRates(const AVCodec& codec) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
    const void* rates = nullptr;
    int count = 0;
    if (avcodec_get_supported_config(nullptr, &codec, AV_CODEC_CONFIG_SAMPLE_RATE, 0, &rates,
                                     &count) < 0 ||
        !rates)
        return {};
    return {static_cast<const int*>(rates), static_cast<size_t>(count)};
#else
    const int* rates = codec.supported_samplerates;
    size_t count = 0;
    while (rates && rates[count] != 0)
        ++count;
    return {rates, count};
#endif
}

// Codecs with a fixed set of rates keep the source's when they can, else the usual rate of
// its family.
int listedRate(const AVCodec& codec, int sourceRate) {
    const std::span<const int> rates = supportedRates(codec);
    if (std::ranges::find(rates, sourceRate) != rates.end())
        return sourceRate;
    return sourceRate % 11025 == 0 ? 44100 : 48000;
}

// Opus runs at 48 kHz whatever it is given.
int opusRate(const AVCodec&, int) {
    return 48000;
}

// A FLAC header holds rates up to 655,350 Hz; faster sources keep half their rate or less.
int flacRate(const AVCodec&, int sourceRate) {
    constexpr int largestRate = 655'350;
    if (sourceRate <= largestRate)
        return sourceRate;
    return sourceRate % 11025 == 0 ? 352'800 : 384'000;
}

int sourceRate(const AVCodec&, int sourceRate) {
    return sourceRate;
}

int perChannels(const AVCodecContext& encoder, int monoBitRate) {
    return encoder.ch_layout.nb_channels == 1 ? monoBitRate : 2 * monoBitRate;
}

void configureAac(AVCodecContext& encoder, AVDictionary** muxerOptions) {
    encoder.bit_rate = perChannels(encoder, 128'000);
#ifdef AV_PROFILE_AAC_LOW
    encoder.profile = AV_PROFILE_AAC_LOW;
#else
    encoder.profile = FF_PROFILE_AAC_LOW;
#endif
    // The index at the front, so players can start before reading the whole file.
    av_dict_set(muxerOptions, "movflags", "+faststart", 0);
}

// LAME's V2 (about 190 kb/s). The muxer writes the LAME header with the encoder's delay
// and padding, which decoders remove.
void configureMp3(AVCodecContext& encoder, AVDictionary**) {
    encoder.flags |= AV_CODEC_FLAG_QSCALE;
    encoder.global_quality = 2 * FF_QP2LAMBDA;
}

// The Ogg header carries the encoder's pre-skip and the last page's position trims the end.
void configureOpus(AVCodecContext& encoder, AVDictionary**) {
    encoder.bit_rate = perChannels(encoder, 64'000);
}

// 24 of the 32 bits handed over are kept.
void configureFlac(AVCodecContext& encoder, AVDictionary**) {
    encoder.bits_per_raw_sample = 24;
}

// RIFF sizes end at 4 GB; a longer file becomes RF64 when it is finished.
void configureWav(AVCodecContext&, AVDictionary** muxerOptions) {
    av_dict_set(muxerOptions, "rf64", "auto", 0);
}

// Indexed by ExportFormat.
const EncoderProfile profiles[] = {
    {"ipod", "aac", AV_SAMPLE_FMT_FLTP, listedRate, configureAac},
    {"mp3", "libmp3lame", AV_SAMPLE_FMT_FLTP, listedRate, configureMp3},
    {"opus", "libopus", AV_SAMPLE_FMT_FLT, opusRate, configureOpus},
    {"flac", "flac", AV_SAMPLE_FMT_S32, flacRate, configureFlac},
    {"wav", "pcm_s24le", AV_SAMPLE_FMT_S32, sourceRate, configureWav},
};
static_assert(std::size(profiles) == allExportFormats.size());

} // namespace

const EncoderProfile& encoderProfileFor(ExportFormat format) {
    return profiles[static_cast<size_t>(format)];
}
