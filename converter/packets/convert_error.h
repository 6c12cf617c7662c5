// The one error type the engine throws: a sentence a user can read, shown as the last line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace vorkast {

class ConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// libav's text for an error code ("No such file or directory").
std::string avErrorText(int code);

// Throws ConvertError("<what>: <libav text>") when code is negative; returns code otherwise.
// Takes a view so that a fixed text costs nothing on the per-frame paths that succeed.
int check(int code, std::string_view what);

} // namespace vorkast
