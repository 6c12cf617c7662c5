// Which filter graphs the converter builds: only filters that work on the frames passing
// through, never ones that read or write files, load plug-ins or listen on the network.
//
// -vf and -af come from output profiles, which users download and share, so a graph is
// checked before any work and again, as a whole, right before libavfilter builds it.
#pragma once

#include <string>

namespace vorkast {

// Throws ConvertError naming the first filter (or filter option) that may not be used, a
// filter the library does not have, or a graph text that cannot be read; flag ("-vf", "-af")
// names where the graph came from. The text is read the way libavfilter reads a graph
// description, with libavutil's own token and option readers, without creating any filter
// (creating one already runs its set-up, which is where files get opened).
void checkFilterGraph(const std::string& graph, const std::string& flag);

// False for a filter refused whatever its options ("movie", "sendcmd", "dnn_processing").
bool filterMayBeUsed(const std::string& name);

} // namespace vorkast
