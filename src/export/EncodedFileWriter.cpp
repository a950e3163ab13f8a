#include "EncodedFileWriter.h"

#include "ChannelMixer.h"
#include "EncoderProfile.h"
#include "ExportFailure.h"
#include "Logging.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
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
struct DictionaryFreer {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};

int check(int result) {
    if (result < 0)
        throw ExportFailure::fromFFmpeg(result);
    return result;
}

template <typename T> T* checkAllocated(T* pointer) {
    if (!pointer)
        throw ExportFailure::fromFFmpeg(AVERROR(ENOMEM));
    return pointer;
}

// Encoders that take any number of frames (PCM) are fed this many at a time.
constexpr int variableFrameSize = 4096;

// The most frames one resampler call may make: a source of a few hertz turns each frame into
// thousands, so its frames go in a few at a time and memory stays flat.
constexpr int64_t resampledBlockFrames = 16384;

// Resampler output in the encoder's sample format, grown to the largest block asked for.
class SampleBuffer {
public:
    SampleBuffer(AVSampleFormat format, int channels)
        : planes_(av_sample_fmt_is_planar(format) ? channels : 1),
          bytesPerFrame_(av_get_bytes_per_sample(format) * channels / planes_) {}

    uint8_t** reserve(int frames) {
        const size_t bytes = size_t(frames) * size_t(bytesPerFrame_);
        if (storage_.size() < bytes * size_t(planes_)) {
            storage_.resize(bytes * size_t(planes_));
            pointers_.resize(size_t(planes_));
            for (int plane = 0; plane < planes_; ++plane)
                pointers_[size_t(plane)] = storage_.data() + bytes * size_t(plane);
        }
        return pointers_.data();
    }

private:
    int planes_;
    int bytesPerFrame_;
    std::vector<uint8_t> storage_;
    std::vector<uint8_t*> pointers_;
};

} // namespace

struct EncodedFileWriter::State {
    const EncoderProfile& profile;
    int sourceRate;
    ChannelMixer mixer;
    std::unique_ptr<AVFormatContext, FormatContextCloser> format;
    std::unique_ptr<AVCodecContext, CodecContextFreer> encoder;
    std::unique_ptr<SwrContext, ResamplerFreer> resampler;
    std::unique_ptr<AVAudioFifo, FifoFreer> fifo;
    std::unique_ptr<AVFrame, FrameFreer> frame;
    std::unique_ptr<AVPacket, PacketFreer> packet;
    std::unique_ptr<SampleBuffer> resampled;
    std::unique_ptr<AVDictionary, DictionaryFreer> muxerOptions;
    AVStream* stream = nullptr;
    int frameSize = 0;
    int64_t framesWritten = 0; // at the source's rate
    int64_t framesEncoded = 0;

    State(ExportFormat exportFormat, int sampleRate, int channels)
        : profile(encoderProfileFor(exportFormat)), sourceRate(sampleRate), mixer(channels) {}

    void createContainer(const QByteArray& url);
    void openEncoder();
    void openResampler();
    void openFile(const QByteArray& url, const Tags& tags);
    void openFrames();
    void resample(const float* interleaved, int frames);
    void convert(const float* interleaved, int frames);
    void encodeFromFifo(bool includePartialFrame);
    void encode(AVFrame* frameOrFlush);
    void checkLength() const;
};

void EncodedFileWriter::State::createContainer(const QByteArray& url) {
    AVFormatContext* context = nullptr;
    const int result =
        avformat_alloc_output_context2(&context, nullptr, profile.muxer, url.constData());
    format.reset(context);
    if (result < 0 || !context) {
        qCInfo(lcExport) << "FFmpeg has no" << profile.muxer << "muxer";
        throw ExportFailure(ExportFailure::sessionCreationFailed);
    }
}

void EncodedFileWriter::State::openEncoder() {
    const AVCodec* codec = avcodec_find_encoder_by_name(profile.encoder);
    if (!codec) {
        qCInfo(lcExport) << "FFmpeg has no" << profile.encoder << "encoder";
        throw ExportFailure(ExportFailure::sessionCreationFailed);
    }
    encoder.reset(checkAllocated(avcodec_alloc_context3(codec)));
    const int rate = profile.outputRate(*codec, sourceRate);
    av_channel_layout_default(&encoder->ch_layout, mixer.outputChannels());
    encoder->sample_fmt = profile.sampleFormat;
    encoder->sample_rate = rate;
    encoder->time_base = AVRational{1, rate};
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    profile.configure(*encoder, &options);
    muxerOptions.reset(options);
    check(avcodec_open2(encoder.get(), codec, nullptr));
}

void EncodedFileWriter::State::openResampler() {
    SwrContext* context = nullptr;
    check(swr_alloc_set_opts2(&context, &encoder->ch_layout, encoder->sample_fmt,
                              encoder->sample_rate, &encoder->ch_layout, AV_SAMPLE_FMT_FLT,
                              sourceRate, 0, nullptr));
    resampler.reset(checkAllocated(context));
    check(swr_init(resampler.get()));
}

void EncodedFileWriter::State::openFile(const QByteArray& url, const Tags& tags) {
    stream = checkAllocated(avformat_new_stream(format.get(), nullptr));
    stream->time_base = encoder->time_base;
    check(avcodec_parameters_from_context(stream->codecpar, encoder.get()));
    check(avio_open(&format->pb, url.constData(), AVIO_FLAG_WRITE));
    AVDictionary* options = muxerOptions.release();
    // Ogg writes its comments, the stream's tags, as it is set up; the others write the file's
    // tags with the header or at the end, and setting up names FFmpeg as the encoder there.
    const bool ogg = std::strcmp(profile.muxer, "opus") == 0;
    const auto setTags = [&](AVDictionary** metadata) {
        for (const auto& [key, value] : tags)
            if (!value.isEmpty())
                check(av_dict_set(metadata, key.constData(), value.toUtf8().constData(), 0));
    };
    if (ogg)
        setTags(&stream->metadata);
    int result = avformat_init_output(format.get(), &options);
    if (result >= 0 && !ogg)
        setTags(&format->metadata);
    if (result >= 0)
        result = avformat_write_header(format.get(), &options);
    av_dict_free(&options);
    check(result);
}

void EncodedFileWriter::State::openFrames() {
    const int channels = encoder->ch_layout.nb_channels;
    frameSize = encoder->frame_size > 0 ? encoder->frame_size : variableFrameSize;
    fifo.reset(checkAllocated(av_audio_fifo_alloc(encoder->sample_fmt, channels, frameSize)));
    frame.reset(checkAllocated(av_frame_alloc()));
    frame->format = encoder->sample_fmt;
    frame->sample_rate = encoder->sample_rate;
    frame->nb_samples = frameSize;
    check(av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout));
    check(av_frame_get_buffer(frame.get(), 0));
    packet.reset(checkAllocated(av_packet_alloc()));
    resampled = std::make_unique<SampleBuffer>(encoder->sample_fmt, channels);
}

void EncodedFileWriter::State::resample(const float* interleaved, int frames) {
    const int channels = mixer.outputChannels();
    const auto piece = static_cast<int>(
        std::max<int64_t>(1, resampledBlockFrames * sourceRate / encoder->sample_rate));
    for (int done = 0; done < frames; done += piece) {
        convert(interleaved + size_t(done) * size_t(channels), std::min(piece, frames - done));
        encodeFromFifo(false);
    }
}

void EncodedFileWriter::State::convert(const float* interleaved, int frames) {
    const int capacity = check(swr_get_out_samples(resampler.get(), frames));
    uint8_t** output = resampled->reserve(capacity);
    const auto* input = reinterpret_cast<const uint8_t*>(interleaved);
    const int converted = check(
        swr_convert(resampler.get(), output, capacity, interleaved ? &input : nullptr, frames));
    if (converted > 0 &&
        av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(output), converted) < converted)
        throw ExportFailure::fromFFmpeg(AVERROR(ENOMEM));
}

void EncodedFileWriter::State::encodeFromFifo(bool includePartialFrame) {
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

void EncodedFileWriter::State::encode(AVFrame* frameOrFlush) {
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

// The resampler can't make every ratio: from a source of one or two hertz it makes nothing at
// all, and that must not pass for a finished file.
void EncodedFileWriter::State::checkLength() const {
    const int64_t expected =
        av_rescale_rnd(framesWritten, encoder->sample_rate, sourceRate, AV_ROUND_NEAR_INF);
    if (std::abs(framesEncoded - expected) > 1)
        throw ExportFailure(
            QCoreApplication::translate("AudioExporter",
                                        "Audio recorded at %1 Hz can't be converted to the %2 Hz "
                                        "this format needs. Save it as FLAC or WAV instead.")
                .arg(sourceRate)
                .arg(encoder->sample_rate));
}

EncodedFileWriter::EncodedFileWriter(const QString& path, ExportFormat format, int sampleRate,
                                     int channelCount, const Tags& tags)
    : state_(std::make_unique<State>(format, sampleRate, channelCount)) {
    // Failures reach the user through the thrown error; FFmpeg's chatter on stderr helps no one.
    static std::once_flag quietLog;
    std::call_once(quietLog, [] { av_log_set_level(AV_LOG_QUIET); });
    // The file protocol named outright, so a ':' in a folder name can't pick another protocol.
    const QByteArray url = "file:" + path.toUtf8();
    State& s = *state_;
    s.createContainer(url);
    s.openEncoder();
    s.openResampler();
    s.openFile(url, tags);
    s.openFrames();
}

EncodedFileWriter::~EncodedFileWriter() = default;

int EncodedFileWriter::outputRate() const {
    return state_->encoder->sample_rate;
}

int EncodedFileWriter::outputChannels() const {
    return state_->encoder->ch_layout.nb_channels;
}

int64_t EncodedFileWriter::framesEncoded() const {
    return state_->framesEncoded;
}

void EncodedFileWriter::write(std::span<const float> interleavedSamples) {
    const std::span<const float> mixed = state_->mixer.mix(interleavedSamples);
    const auto frames = static_cast<int>(mixed.size() / size_t(state_->mixer.outputChannels()));
    if (frames > 0)
        state_->resample(mixed.data(), frames);
    state_->framesWritten += frames;
}

void EncodedFileWriter::finish() {
    State& s = *state_;
    // A resampler holds back a few frames of look-ahead; the last ones come out on a flush.
    while (swr_get_delay(s.resampler.get(), s.encoder->sample_rate) > 0) {
        const int before = av_audio_fifo_size(s.fifo.get());
        s.convert(nullptr, 0);
        if (av_audio_fifo_size(s.fifo.get()) == before)
            break;
    }
    s.encodeFromFifo(true);
    s.checkLength();
    s.encode(nullptr);
    check(av_write_trailer(s.format.get()));
    check(avio_closep(&s.format->pb));
}
