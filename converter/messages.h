// Everything the converter says on standard error besides its progress reports.
//
// The split job takes the first "time" of each piece it reads as a progress report, so no message
// may contain that word in lower case: every text passes through readableLine() first.
#pragma once

#include <string>

namespace vorkast {

// text with every lower-case "time" written "Time" and line breaks flattened, plus "\n".
std::string readableLine(const std::string& text);

// Writes "vorkast: <text>\n" to standard error in one write.
void printMessage(const std::string& text);

// Routes libav's own log through printMessage: errors only, and at most a few dozen lines so
// a damaged source cannot flood the pipe.
void installLibavLog();

// How many errors libav's decoders have logged since the program started (they are not
// printed): a decoder that conceals damage says so only there.
int decoderErrorsLogged();

} // namespace vorkast
