// Reading a graph description the way libavfilter does and refusing what reaches outside.
#include "filter_policy.h"

#include "convert_error.h"
#include "filter_library.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <string_view>
#include <vector>

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

namespace vorkast {

namespace {

// How these lists were drawn up: the filter sources of FFmpeg 5.1's libavfilter were searched
// for everything that reaches past the frames of the graph — avio_open/avio_open2,
// avformat_open_input, fopen/avpriv_fopen_utf8, av_file_map, ff_load_image, font loading
// (FT_New_Face, fontconfig file names), dlopen, sockets (zmq) and model loaders (dnn, rnnoise,
// pocketsphinx, tesseract, vmaf) — and for the options that feed those calls. A filter whose
// purpose is one of them is refused outright; a filter that only has an option for it is
// refused only when that option is set. isFileOption() below is a second net for an option
// added by a later library version that the list does not know yet.

// Refused whatever their options: reading other media or files is what they are for, they
// load code or models, send commands that change other filters' options while running (which
// no check here could see), or listen on the network.
const std::set<std::string_view> kRefusedFilters = {
    "movie",
    "amovie", // read any media file
    "sendcmd",
    "asendcmd", // commands from a file, or inline ones that reset options
    "zmq",
    "azmq", // commands from the network
    "ladspa",
    "lv2", // plug-in code
    "frei0r",
    "frei0r_src", // plug-in code
    "ocv",
    "lensfun", // kernel files, lens database
    "subtitles",
    "ass",     // subtitle and font files
    "libvmaf", // model and log files
    "sr",
    "derain", // model files
    "arnndn",
    "asr", // model files
    "ocr",
    "nnedi", // training data, weights file
    "sofalizer",
    "removelogo", // SOFA file, mask picture
    "cover_rect",
    "find_rect", // pictures read from files
    "vidstabdetect",
    "vidstabtransform", // write and read a transforms file
    "signature",
    "fieldhint", // signature files, hint file
    "lut3d",
    "lut1d", // cube and LUT files
    "program_opencl",
    "openclsrc", // kernel source files
    "cellauto",
    "life",  // pattern files
    "flite", // text file, voices
};
// Refused by name prefix: whole families of the same kind.
const std::string_view kRefusedPrefixes[] = {"dnn_", "coreimage", "frei0r"};

// Fine without these options, which name a file to read or write; any other name libavfilter
// accepts for the same setting is refused with it.
const std::map<std::string_view, std::vector<std::string_view>> kRefusedOptions = {
    {"metadata", {"file"}},
    {"ametadata", {"file"}},
    {"drawtext", {"fontfile", "textfile"}},
    {"showcqt", {"fontfile", "axisfile"}},
    {"psnr", {"stats_file"}},
    {"ssim", {"stats_file"}},
    {"vmafmotion", {"stats_file"}},
    {"firequalizer", {"dumpfile"}},
    {"deshake", {"filename"}},
    {"curves", {"psfile", "plot"}},
    {"selectivecolor", {"psfile"}},
    {"libplacebo", {"custom_shader_path"}},
    {"paletteuse", {"debug_kdtree"}},
    {"xfade_opencl", {"source"}},
};

constexpr const char* kBlanks = " \n\t\r"; // what libavfilter skips between the parts of a graph

[[noreturn]] void fail(const std::string& message) {
    throw ConvertError(message);
}

bool refusedFilter(std::string_view name) {
    if (kRefusedFilters.count(name))
        return true;
    return std::any_of(
        std::begin(kRefusedPrefixes), std::end(kRefusedPrefixes),
        [&](std::string_view prefix) { return name.substr(0, prefix.size()) == prefix; });
}

// A word of text, lower case, standing alone at its start ("file", "filename", "files" count;
// "profile" does not).
bool mentions(const char* text, std::string_view word) {
    if (!text)
        return false;
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (std::size_t at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1))
        if (at == 0 || !std::isalpha(static_cast<unsigned char>(lower[at - 1])))
            return true;
    return false;
}

// A text option whose name or description says it holds a file name, path or address
// ("axisfile", "stats_file", "set font file"; "profile" is no file).
bool isFileOption(const AVOption* option) {
    if (option->type != AV_OPT_TYPE_STRING)
        return false;
    std::string name(option->name);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (std::string_view part : {"file", "path", "url"})
        for (std::size_t at = name.find(part); at != std::string::npos;
             at = name.find(part, at + 1))
            if (part != "file" || at < 3 || name.compare(at - 3, 3, "pro") != 0)
                return true;
    for (std::string_view word : {"file", "path", "url", "directory", "folder", "address"})
        if (mentions(option->help, word))
            return true;
    return false;
}

// One token read by libavutil, as libavfilter reads it (quotes and backslashes undone).
std::string token(const char** text, const char* terminators) {
    char* read = av_get_token(text, terminators);
    if (!read)
        throw std::bad_alloc();
    std::string result(read);
    av_free(read);
    return result;
}

class GraphReader {
public:
    GraphReader(const std::string& graph, const std::string& flag) : m_graph(graph), m_flag(flag) {}

    void check() {
        const char* p = m_graph.c_str();
        char separator = 0;
        do {
            p += std::strspn(p, kBlanks);
            skipLabels(&p);
            const std::string name = token(&p, "=,;[");
            std::string args;
            if (*p == '=') {
                ++p;
                args = token(&p, "[],;");
            }
            checkFilter(name, args);
            skipLabels(&p);
            p += std::strspn(p, kBlanks);
            separator = *p;
            if (separator)
                ++p;
        } while (separator == ',' || separator == ';');
        if (separator)
            unreadable(p - 1);
    }

private:
    [[noreturn]] void unreadable(const char* near) const {
        fail("the filters given to " + m_flag + " (\"" + m_graph + "\") cannot be read near \"" +
             std::string(near).substr(0, 40) + "\"");
    }

    // Link labels: "[name]" with blanks after each.
    void skipLabels(const char** p) const {
        while (**p == '[') {
            const char* start = *p;
            ++*p;
            const std::string label = token(p, "]");
            if (label.empty() || **p != ']')
                unreadable(start);
            ++*p;
            *p += std::strspn(*p, kBlanks);
        }
    }

    // libavfilter keeps at most 29 characters of "name@instance" to find the '@'.
    static std::string filterName(const std::string& text) {
        const std::size_t searched = std::min<std::size_t>(text.size(), 29);
        for (std::size_t k = 0; k < searched; ++k)
            if (text[k] == '@' && k + 1 < text.size())
                return text.substr(0, k);
        return text;
    }

    void checkFilter(const std::string& text, const std::string& args) const {
        const std::string name = filterName(text);
        const AVFilter* filter = filters().avfilter_get_by_name(name.c_str());
        if (!filter)
            fail("there is no filter \"" + name + "\" for " + m_flag);
        if (refusedFilter(name))
            fail("the filter \"" + name + "\" reads or writes outside the job (files, plug-ins " +
                 "or the network) and is not allowed in " + m_flag);

        // The options as libavfilter hands them out: leading values without a name go to the
        // filter's options in order (one per setting, skipping other names for it), then
        // every value is "name=value". libavfilter 5.1 gives a nameless value after a named
        // one to whatever option its walk reaches, so such text is refused rather than guessed.
        const AVClass* options = filter->priv_class;
        const AVOption* walked = nullptr;
        int lastOffset = -1;
        bool named = false;
        const char* p = args.c_str();
        while (*p) {
            const char* shorthand = nullptr;
            if (options && !named) {
                while ((walked = av_opt_next(&options, walked))) {
                    if (walked->type == AV_OPT_TYPE_CONST || walked->offset == lastOffset)
                        continue;
                    lastOffset = walked->offset;
                    shorthand = walked->name;
                    break;
                }
            }
            char* key = nullptr;
            char* value = nullptr;
            if (av_opt_get_key_value(&p, "=", ":", AV_OPT_FLAG_IMPLICIT_KEY, &key, &value) < 0)
                unreadable(p);
            const std::string keyText = key ? key : "";
            const bool hasKey = key != nullptr;
            av_free(key);
            av_free(value);
            if (*p)
                ++p;
            if (hasKey) {
                named = true;
                checkOption(name, options, keyText);
            } else if (shorthand) {
                checkOption(name, options, shorthand);
            } else {
                fail("the filter \"" + name + "\" in " + m_flag + " has a value without an " +
                     "option name " + (named ? "after a named one" : "beyond its options") +
                     "; write name=value");
            }
        }
    }

    void checkOption(const std::string& filter, const AVClass* options,
                     const std::string& key) const {
        if (!options)
            return;
        // Options every filter has ("enable", "threads") are not in the filter's own class
        // and open nothing.
        const AVOption* option =
            av_opt_find(&options, key.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
        if (!option)
            return;
        bool refused = isFileOption(option);
        if (const auto listed = kRefusedOptions.find(filter); listed != kRefusedOptions.end())
            for (std::string_view name : listed->second) {
                const AVOption* named = av_opt_find(&options, std::string(name).c_str(), nullptr, 0,
                                                    AV_OPT_SEARCH_FAKE_OBJ);
                if (named && named->offset == option->offset)
                    refused = true;
            }
        if (refused)
            fail("the option \"" + key + "\" of the filter \"" + filter +
                 "\" names a file outside the job and is not allowed in " + m_flag);
    }

    const std::string& m_graph;
    const std::string& m_flag;
};

} // namespace

void checkFilterGraph(const std::string& graph, const std::string& flag) {
    GraphReader(graph, flag).check();
}

bool filterMayBeUsed(const std::string& name) {
    return !refusedFilter(name);
}

} // namespace vorkast
