#include "M4aWriter.h"

#include "AudioExporter.h"
#include "ExportFailure.h"

#include <algorithm>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

namespace {

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const {
        if (context->pb)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct FifoFreer {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ChannelLayoutReleaser {
    void operator()(AVChannelLayout* layout) const { av_channel_layout_uninit(layout); }
};

void check(int result) {
    if (result < 0)
        throw ExportFailure::fromFFmpeg(result);
}

template <typename T> T* checkAllocated(T* pointer) {
    if (!pointer)
        throw ExportFailure::fromFFmpeg(AVERROR(ENOMEM));
    return pointer;
}

// AAC has a fixed set of rates; anything else goes to the nearest family's usual rate.
int aacSampleRate(const AVCodec& codec, int sourceRate) {
    for (const int* rate = codec.supported_samplerates; rate && *rate; ++rate)
        if (*rate == sourceRate)
            return sourceRate;
    return sourceRate % 11025 == 0 ? 44100 : 48000;
}

constexpr int stereoBitRate = 256'000;
constexpr int monoBitRate = 128'000;

} // namespace

struct M4aWriter::State {
    int inputChannels = 0;
    std::unique_ptr<AVFormatContext, FormatContextCloser> format;
    std::unique_ptr<AVCodecContext, CodecContextFreer> encoder;
    std::unique_ptr<SwrContext, ResamplerFreer> resampler;
    std::unique_ptr<AVAudioFifo, FifoFreer> fifo;
    std::unique_ptr<AVFrame, FrameFreer> frame;
    std::unique_ptr<AVPacket, PacketFreer> packet;
    AVStream* stream = nullptr;
    std::vector<std::vector<float>> planes;
    std::vector<uint8_t*> planePointers;
    int64_t framesEncoded = 0;

    void openEncoder(int sourceRate, int sourceChannels);
    void openFile(const QString& path);
    void openResampler(int sourceRate, int sourceChannels);
    void convert(const float* interleaved, int frames);
    void encodeFromFifo(bool includePartialFrame);
    void encode(AVFrame* frameOrFlush);
};

void M4aWriter::State::openEncoder(int sourceRate, int sourceChannels) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        throw AudioExporter::ExportError(AudioExporter::ExportError::sessionCreationFailed);
    encoder.reset(checkAllocated(avcodec_alloc_context3(codec)));
    const int channels = std::min(sourceChannels, 2);
    const int rate = aacSampleRate(*codec, sourceRate);
    av_channel_layout_default(&encoder->ch_layout, channels);
    encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    encoder->sample_rate = rate;
    encoder->time_base = AVRational{1, rate};
    encoder->bit_rate = channels == 1 ? monoBitRate : stereoBitRate;
    encoder->profile = FF_PROFILE_AAC_LOW;
    // The MPEG-4 muxer wants the decoder configuration in the header, not in every packet.
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(encoder.get(), codec, nullptr));
}

void M4aWriter::State::openFile(const QString& path) {
    // The file protocol named outright, so a ':' in a folder name can't pick another protocol.
    const QByteArray url = "file:" + path.toUtf8();
    AVFormatContext* context = nullptr;
    check(avformat_alloc_output_context2(&context, nullptr, "ipod", url.constData()));
    format.reset(checkAllocated(context));
    stream = checkAllocated(avformat_new_stream(format.get(), nullptr));
    stream->time_base = encoder->time_base;
    check(avcodec_parameters_from_context(stream->codecpar, encoder.get()));
    check(avio_open(&format->pb, url.constData(), AVIO_FLAG_WRITE));

    // The index at the front, so players can start before reading the whole file.
    AVDictionary* options = nullptr;
    int result = av_dict_set(&options, "movflags", "+faststart", 0);
    if (result >= 0)
        result = avformat_write_header(format.get(), &options);
    av_dict_free(&options);
    check(result);
}

void M4aWriter::State::openResampler(int sourceRate, int sourceChannels) {
    AVChannelLayout sourceLayout{};
    av_channel_layout_default(&sourceLayout, sourceChannels);
    std::unique_ptr<AVChannelLayout, ChannelLayoutReleaser> sourceLayoutOwner(&sourceLayout);
    SwrContext* context = nullptr;
    check(swr_alloc_set_opts2(&context, &encoder->ch_layout, AV_SAMPLE_FMT_FLTP,
                              encoder->sample_rate, &sourceLayout, AV_SAMPLE_FMT_FLT, sourceRate, 0,
                              nullptr));
    resampler.reset(checkAllocated(context));
    check(swr_init(resampler.get()));
}

void M4aWriter::State::convert(const float* interleaved, int frames) {
    const int capacity = swr_get_out_samples(resampler.get(), frames);
    check(capacity);
    for (auto& plane : planes)
        if (plane.size() < static_cast<size_t>(capacity))
            plane.resize(capacity);
    for (size_t channel = 0; channel < planes.size(); ++channel)
        planePointers[channel] = reinterpret_cast<uint8_t*>(planes[channel].data());
    const auto* input = reinterpret_cast<const uint8_t*>(interleaved);
    const int converted = swr_convert(resampler.get(), planePointers.data(), capacity,
                                      interleaved ? &input : nullptr, interleaved ? frames : 0);
    check(converted);
    if (converted > 0 &&
        av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(planePointers.data()), converted) <
            converted)
        throw ExportFailure::fromFFmpeg(AVERROR(ENOMEM));
}

void M4aWriter::State::encodeFromFifo(bool includePartialFrame) {
    const int frameSize = encoder->frame_size;
    while (av_audio_fifo_size(fifo.get()) >= frameSize ||
           (includePartialFrame && av_audio_fifo_size(fifo.get()) > 0)) {
        check(av_frame_make_writable(frame.get()));
        frame->nb_samples = std::min(frameSize, av_audio_fifo_size(fifo.get()));
        check(av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(frame->data),
                                 frame->nb_samples));
        frame->pts = framesEncoded;
        framesEncoded += frame->nb_samples;
        encode(frame.get());
    }
}

void M4aWriter::State::encode(AVFrame* frameOrFlush) {
    check(avcodec_send_frame(encoder.get(), frameOrFlush));
    for (;;) {
        const int received = avcodec_receive_packet(encoder.get(), packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return;
        check(received);
        av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        check(av_interleaved_write_frame(format.get(), packet.get()));
    }
}

M4aWriter::M4aWriter(const QString& path, int sampleRate, int channelCount)
    : state_(std::make_unique<State>()) {
    // Failures reach the user through the thrown error; FFmpeg's chatter on stderr helps no one.
    static std::once_flag quietLog;
    std::call_once(quietLog, [] { av_log_set_level(AV_LOG_QUIET); });
    State& s = *state_;
    s.inputChannels = channelCount;
    s.openEncoder(sampleRate, channelCount);
    s.openResampler(sampleRate, channelCount);
    s.openFile(path);

    const int channels = s.encoder->ch_layout.nb_channels;
    s.fifo.reset(
        checkAllocated(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels, s.encoder->frame_size)));
    s.frame.reset(checkAllocated(av_frame_alloc()));
    s.frame->format = AV_SAMPLE_FMT_FLTP;
    s.frame->sample_rate = s.encoder->sample_rate;
    s.frame->nb_samples = s.encoder->frame_size;
    check(av_channel_layout_copy(&s.frame->ch_layout, &s.encoder->ch_layout));
    check(av_frame_get_buffer(s.frame.get(), 0));
    s.packet.reset(checkAllocated(av_packet_alloc()));
    s.planes.resize(channels);
    s.planePointers.resize(channels);
}

M4aWriter::~M4aWriter() = default;

void M4aWriter::write(std::span<const float> interleavedSamples) {
    const auto frames = static_cast<int>(interleavedSamples.size() / state_->inputChannels);
    if (frames == 0)
        return;
    state_->convert(interleavedSamples.data(), frames);
    state_->encodeFromFifo(false);
}

void M4aWriter::finish() {
    State& s = *state_;
    // A resampler holds back a few frames of look-ahead; the last ones come out on a flush.
    while (swr_get_delay(s.resampler.get(), s.encoder->sample_rate) > 0) {
        const int before = av_audio_fifo_size(s.fifo.get());
        s.convert(nullptr, 0);
        if (av_audio_fifo_size(s.fifo.get()) == before)
            break;
    }
    s.encodeFromFifo(true);
    s.encode(nullptr);
    check(av_write_trailer(s.format.get()));
    check(avio_closep(&s.format->pb));
}
