// The converter's exit statuses, for the program and for whoever runs it (the split job, which
// links the contract library and includes this header).
#pragma once

namespace vorkast::exit_status {

// The clip is complete: it holds all that was asked, up to the source's end.
constexpr int complete = 0;
// Nothing usable was written; the last line on standard error says why.
constexpr int failed = 1;
// The clip was written and kept, but the source ended or broke early (or its last frames could
// not be read): it is shorter than asked by more than a frame. The clip counts as made; the last
// progress report before the exit gives its real length.
constexpr int shortClip = 3;
// The clip was written but failed its check against the source: the line "check failed: ..."
// before the exit names what differs. The part file is removed, unless -check keep put the clip
// in place all the same (the line's figures then say kept=1). With -check-clip: the clip
// checked does not hold.
constexpr int checkFailed = 4;
// 128 + the signal's number: ended by SIGTERM, SIGINT or SIGHUP; the part file is removed.

} // namespace vorkast::exit_status
