// Opening libavfilter by its versioned name and finding its functions.
#include "filter_library.h"

#include "convert_error.h"

#include <dlfcn.h>
#include <string>

extern "C" {
#include <libavfilter/version.h>
#include <libavutil/macros.h>
}

namespace vorkast {

namespace {

FilterLibrary load() {
    // The major version is the ABI this program was built against.
    const char* name = "libavfilter.so." AV_STRINGIFY(LIBAVFILTER_VERSION_MAJOR);
    void* handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw ConvertError(std::string("cannot load the filter library ") + name +
                           ", needed to convert: " + ::dlerror());
    FilterLibrary library;
#define VORKAST_FILTER_RESOLVE(fn)                                                                 \
    library.fn = reinterpret_cast<decltype(library.fn)>(::dlsym(handle, #fn));                     \
    if (!library.fn)                                                                               \
        throw ConvertError(std::string("the filter library ") + name + " lacks " #fn);
    VORKAST_FILTER_FUNCTIONS(VORKAST_FILTER_RESOLVE)
#undef VORKAST_FILTER_RESOLVE
    return library; // the handle stays open for the life of the program
}

} // namespace

const FilterLibrary& filters() {
    static const FilterLibrary library = load();
    return library;
}

} // namespace vorkast
