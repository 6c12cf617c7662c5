// Opening a source and reading its packets with their facts.
#include "packet_timeline.h"

#include "convert_error.h"

#include <new>

namespace vorkast {

InputContextPtr openInput(const std::string& path, const AVIOInterruptCB& interrupt) {
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    raw->interrupt_callback = interrupt;
    if (int err = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
        err < 0) // frees raw on failure
        throw ConvertError("cannot open the source file: " + avErrorText(err));
    InputContextPtr input(raw);
    if (int err = avformat_find_stream_info(raw, nullptr); err < 0)
        throw ConvertError("cannot read the source file: " + avErrorText(err));
    return input;
}

StreamChoice chooseStreams(AVFormatContext* input) {
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (input->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC)
            input->streams[i]->discard = AVDISCARD_ALL;
    StreamChoice choice;
    choice.video = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (choice.video >= 0 &&
        (input->streams[choice.video]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        choice.video = -1;
    choice.audio = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, choice.video, nullptr, 0);
    if (choice.video < 0)
        choice.video = -1;
    if (choice.audio < 0)
        choice.audio = -1;
    return choice;
}

double startSeconds(const AVFormatContext* input) {
    return input->start_time == AV_NOPTS_VALUE
               ? 0.0
               : static_cast<double>(input->start_time) / AV_TIME_BASE;
}

PacketTimeline::PacketTimeline(AVFormatContext* input) : PacketTimeline(input, Options{}) {}

PacketTimeline::PacketTimeline(AVFormatContext* input, Options options)
    : m_input(input), m_options(options), m_container(containerTraits(input->iformat)) {
    m_clocks.reserve(input->nb_streams);
    for (unsigned i = 0; i < input->nb_streams; ++i)
        m_clocks.emplace_back(input->streams[i], m_container);
    if (m_options.repairClock)
        m_repair.emplace(input);
}

std::optional<TimedPacket> PacketTimeline::next() {
    for (;;) {
        PacketPtr packet = makePacket();
        if (av_read_frame(m_input, packet.get()) < 0)
            return std::nullopt;
        const auto index = static_cast<std::size_t>(packet->stream_index);
        // Streams may appear while reading (transport streams).
        while (m_clocks.size() < m_input->nb_streams)
            m_clocks.emplace_back(m_input->streams[m_clocks.size()], m_container);
        if (m_repair && !m_repair->repair(packet.get()))
            continue;
        PacketFacts facts = m_clocks[index].take(packet.get());
        return TimedPacket{std::move(packet), facts};
    }
}

void PacketTimeline::restart() {
    for (DisplayClock& clock : m_clocks)
        clock.restart();
}

} // namespace vorkast
