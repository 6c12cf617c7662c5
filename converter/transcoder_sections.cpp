// Encoded streams of a joined clip: one decoder and one encoder for every section, the sections'
// frames following each other in the clip.
#include "transcoder.h"

namespace vorkast {

void Transcoder::endSection(std::int64_t pts, const Writer& write) {
    if (m_sectionsLeft > 0) {
        m_sectionDone = true;
        return;
    }
    close(pts, write);
}

void Transcoder::nextSection(const Section& next, double clipStart, const Writer& write) {
    if (m_closed)
        return;
    // What the decoder holds back lies past the section's end, unless the source ended inside
    // the section: then its last frame is still to be given.
    decode(nullptr, write);
    if (m_closed)
        return;
    if (!m_sectionDone)
        flushHeld(write);
    avcodec_flush_buffers(m_decoder.get());
    m_sectionDone = false;
    if (m_sectionsLeft > 0)
        --m_sectionsLeft;
    m_section.start = next.start;
    m_section.end = next.end;
    beginSection(clipStart);
}

} // namespace vorkast
