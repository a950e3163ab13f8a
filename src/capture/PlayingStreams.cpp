#include "PlayingStreams.h"

#include "PulseConnection.h"

#include <QCoreApplication>

namespace {

QString property(const pa_proplist* properties, const char* key) {
    const char* value = properties ? pa_proplist_gets(properties, key) : nullptr;
    return value ? QString::fromUtf8(value) : QString();
}

} // namespace

PlayingStream PlayingStream::from(const pa_sink_input_info& info) {
    PlayingStream stream;
    stream.index = info.index;
    stream.sink = info.sink;
    stream.program = {property(info.proplist, PA_PROP_APPLICATION_NAME),
                      property(info.proplist, PA_PROP_APPLICATION_PROCESS_BINARY),
                      property(info.proplist, PA_PROP_APPLICATION_ICON_NAME)};
    stream.ownerPid = property(info.proplist, PA_PROP_APPLICATION_PROCESS_ID).toUInt();
    // "frames/rate", as PipeWire writes it.
    const QStringList latency = property(info.proplist, "node.latency").split(u'/');
    if (latency.size() == 2 && latency[1].toDouble() > 0)
        stream.requestedLatency = latency[0].toDouble() / latency[1].toDouble();
    return stream;
}

bool PlayingStream::isOwn() const {
    return ownerPid != 0 && ownerPid == QCoreApplication::applicationPid();
}

std::optional<QList<PlayingStream>> listPlayingStreams(PulseConnection& connection) {
    return connection.askList<QList<PlayingStream>, pa_sink_input_info>(
        [&connection](pa_sink_input_info_cb_t callback, void* userdata) {
            return pa_context_get_sink_input_info_list(connection.context(), callback, userdata);
        },
        [](QList<PlayingStream>& list, const pa_sink_input_info& info) {
            PlayingStream stream = PlayingStream::from(info);
            if (!stream.isOwn())
                list.append(stream);
        });
}

QList<CaptureProgram> programsOf(const QList<PlayingStream>& streams) {
    QList<CaptureProgram> programs;
    for (const PlayingStream& stream : streams) {
        if (stream.program.displayName().isEmpty() || programs.contains(stream.program))
            continue;
        programs.append(stream.program);
    }
    return programs;
}
