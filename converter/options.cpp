// Parsing and checking the converter's command line.
#include "options.h"

#include "convert_error.h"
#include "filter_policy.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <set>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

namespace vorkast {

std::optional<double> parseDecimal(const std::string& text) {
    double value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    // from_chars ignores the locale, so "12.5" reads the same under a comma locale.
    auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (text.empty() || ec != std::errc() || end != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> parseBitRate(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    double factor = 1;
    std::string number = text;
    switch (text.back()) {
    case 'k':
    case 'K':
        factor = 1e3;
        break;
    case 'm':
    case 'M':
        factor = 1e6;
        break;
    case 'g':
    case 'G':
        factor = 1e9;
        break;
    default:
        break;
    }
    if (factor != 1)
        number.pop_back();
    const auto value = parseDecimal(number);
    if (!value || *value <= 0 || *value * factor > 1e12)
        return std::nullopt;
    return static_cast<std::int64_t>(std::llround(*value * factor));
}

namespace {

[[noreturn]] void fail(const std::string& message) {
    throw ConvertError(message);
}

double secondsValue(const std::string& flag, const std::string& text) {
    const auto value = parseDecimal(text);
    if (!value || *value < 0)
        fail("the value of " + flag + " must be a number of seconds like 12.5, not \"" + text +
             "\"");
    return *value;
}

int integerValue(const std::string& flag, const std::string& text, int min, int max) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min ||
        value > max)
        fail("the value of " + flag + " must be a whole number from " + std::to_string(min) +
             " to " + std::to_string(max) + ", not \"" + text + "\"");
    return value;
}

std::int64_t bitRateValue(const std::string& flag, const std::string& text, const char* example) {
    const auto rate = parseBitRate(text);
    if (!rate)
        fail("the value of " + flag + " must be a bit rate like " + example + ", not \"" + text +
             "\"");
    return *rate;
}

std::string codecValue(const std::string& flag, const std::string& name, AVMediaType type) {
    if (name == "copy")
        return name;
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (!codec)
        fail("unknown encoder \"" + name + "\" for " + flag + ": this build has no such encoder");
    if (codec->type != type)
        fail("\"" + name + "\" given to " + flag + " is not " +
             (type == AVMEDIA_TYPE_VIDEO ? "a video" : "an audio") + " encoder");
    return name;
}

void checkCopyConflicts(const Options& o) {
    if (o.video.copy() && !o.video.disabled) {
        const char* clash = nullptr;
        if (!o.video.filters.empty())
            clash = "-vf";
        else if (o.width)
            clash = "-s";
        else if (o.frameRate.num)
            clash = "-r";
        else if (o.aspect.num)
            clash = "-aspect";
        else if (o.deinterlace)
            clash = "-deinterlace";
        else if (!o.pixelFormat.empty())
            clash = "-pix_fmt";
        if (clash)
            fail(std::string(clash) +
                 " needs the video to be encoded, but the video codec is copy");
    }
    if (o.audio.copy() && !o.audio.disabled) {
        const char* clash = nullptr;
        if (!o.audio.filters.empty())
            clash = "-af";
        else if (o.sampleRate)
            clash = "-ar";
        else if (o.channels)
            clash = "-ac";
        else if (o.volume != 256)
            clash = "-vol";
        if (clash)
            fail(std::string(clash) +
                 " needs the audio to be encoded, but the audio codec is copy");
    }
}

// Why an output profile may not give an option the job gives itself; nullptr when it may.
const char* refusedInProfile(const std::string& flag) {
    static const std::map<std::string, const char*> refused = {
        {"-i", "the job gives the source, the range and the output"},
        {"-ss", "the job gives the source, the range and the output"},
        {"-t", "the job gives the source, the range and the output"},
        {"-range", "the job gives the source, the range and the output"},
        {"-y", "the job decides whether a clip may be replaced"},
        {"-profile", "a run takes the arguments of one profile"},
        {"-h", "the job runs the converter to make a clip"},
        {"--help", "the job runs the converter to make a clip"},
        {"--version", "the job runs the converter to make a clip"},
        {"-check-clip", "the job runs the converter to make a clip"},
    };
    const auto found = refused.find(flag);
    return found == refused.end() ? nullptr : found->second;
}

bool looksLikeOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

} // namespace

Options parseOptions(const std::vector<std::string>& rawArgs) {
    // The split job splits profile text at runs of blanks; stray empty tokens carry nothing.
    // A profile's name is one argument of its own, kept even when empty.
    std::vector<std::string> args;
    for (std::size_t i = 0; i < rawArgs.size(); ++i)
        if (!rawArgs[i].empty() || (i > 0 && rawArgs[i - 1] == "-profile"))
            args.push_back(rawArgs[i]);

    Options o;
    using Setter = std::function<void(const std::string& flag, const std::string& value)>;
    const std::map<std::string, Setter> valued = {
        {"-i", [&](auto&, auto& v) { o.input = v; }},
        {"-f",
         [&](auto& f, auto& v) {
             if (!av_guess_format(v.c_str(), nullptr, nullptr))
                 fail("unknown container \"" + v + "\" given to " + f);
             o.format = v;
         }},
        {"-ss", [&](auto& f, auto& v) { o.start = secondsValue(f, v); }},
        {"-t",
         [&](auto& f, auto& v) {
             o.length = secondsValue(f, v);
             if (*o.length <= 0)
                 fail("the length given to -t must be more than 0 seconds");
         }},
        {std::string(contract::kRangeOption),
         [&](auto&, auto& v) {
             std::string problem;
             const auto range = contract::parseJoinRange(v, &problem);
             if (!range)
                 fail(problem);
             o.ranges.push_back(*range);
         }},
        {"-vcodec",
         [&](auto& f, auto& v) { o.video.codec = codecValue(f, v, AVMEDIA_TYPE_VIDEO); }},
        {"-c:v", [&](auto& f, auto& v) { o.video.codec = codecValue(f, v, AVMEDIA_TYPE_VIDEO); }},
        {"-acodec",
         [&](auto& f, auto& v) { o.audio.codec = codecValue(f, v, AVMEDIA_TYPE_AUDIO); }},
        {"-c:a", [&](auto& f, auto& v) { o.audio.codec = codecValue(f, v, AVMEDIA_TYPE_AUDIO); }},
        {"-c",
         [&](auto& f, auto& v) {
             if (v != "copy")
                 fail(f + " only takes copy; name the encoders with -c:v and -c:a");
             o.video.codec = o.audio.codec = v;
         }},
        {"-b:v", [&](auto& f, auto& v) { o.video.bitRate = bitRateValue(f, v, "800k"); }},
        {"-b:a", [&](auto& f, auto& v) { o.audio.bitRate = bitRateValue(f, v, "128k"); }},
        {"-s",
         [&](auto& f, auto& v) {
             if (av_parse_video_size(&o.width, &o.height, v.c_str()) < 0 || o.width <= 0 ||
                 o.height <= 0)
                 fail("the value of " + f + " must be a size like 640x480, not \"" + v + "\"");
         }},
        {"-r",
         [&](auto& f, auto& v) {
             if (av_parse_video_rate(&o.frameRate, v.c_str()) < 0 || o.frameRate.num <= 0 ||
                 o.frameRate.den <= 0 || av_q2d(o.frameRate) > 1000)
                 fail("the value of " + f + " must be a frame rate like 25 or 30000/1001, not \"" +
                      v + "\"");
         }},
        {"-aspect",
         [&](auto& f, auto& v) {
             if (av_parse_ratio(&o.aspect, v.c_str(), 1000000, 0, nullptr) < 0 ||
                 o.aspect.num <= 0 || o.aspect.den <= 0)
                 fail("the value of " + f + " must be a ratio like 16:9 or 1.7778, not \"" + v +
                      "\"");
         }},
        {"-vf",
         [&](auto& f, auto& v) {
             checkFilterGraph(v, f);
             o.video.filters = v;
         }},
        {"-af",
         [&](auto& f, auto& v) {
             checkFilterGraph(v, f);
             o.audio.filters = v;
         }},
        {"-profile", [&](auto&, auto& v) { o.profile = v; }},
        {"-pix_fmt",
         [&](auto& f, auto& v) {
             if (av_get_pix_fmt(v.c_str()) == AV_PIX_FMT_NONE)
                 fail("unknown pixel format \"" + v + "\" given to " + f);
             o.pixelFormat = v;
         }},
        {"-crf",
         [&](auto& f, auto& v) {
             if (!parseDecimal(v))
                 fail("the value of " + f + " must be a number, not \"" + v + "\"");
             o.video.encoderOptions.emplace_back("crf", v);
         }},
        {"-preset", [&](auto&, auto& v) { o.video.encoderOptions.emplace_back("preset", v); }},
        {"-deadline", [&](auto&, auto& v) { o.video.encoderOptions.emplace_back("deadline", v); }},
        {"-cpu-used",
         [&](auto& f, auto& v) {
             integerValue(f, v, -16, 16);
             o.video.encoderOptions.emplace_back("cpu-used", v);
         }},
        {"-q:v",
         [&](auto& f, auto& v) {
             const auto q = parseDecimal(v);
             if (!q || *q < 0)
                 fail("the value of " + f + " must be a number like 4, not \"" + v + "\"");
             o.quality = *q;
         }},
        {"-g", [&](auto& f, auto& v) { o.gop = integerValue(f, v, 1, 100000); }},
        {"-ar", [&](auto& f, auto& v) { o.sampleRate = integerValue(f, v, 1000, 384000); }},
        {"-ac", [&](auto& f, auto& v) { o.channels = integerValue(f, v, 1, 16); }},
        {"-vol", [&](auto& f, auto& v) { o.volume = integerValue(f, v, 0, 65536); }},
        {"-cut",
         [&](auto& f, auto& v) {
             if (v == "exact")
                 o.cut = CutMode::Exact;
             else if (v == "keyframe")
                 o.cut = CutMode::Keyframe;
             else
                 fail("the value of " + f + " must be exact or keyframe, not \"" + v + "\"");
         }},
        {"-threads", [&](auto& f, auto& v) { o.threads = integerValue(f, v, 0, 64); }},
        {"-check",
         [&](auto& f, auto& v) {
             if (v == "on")
                 o.check = CheckMode::On;
             else if (v == "keep")
                 o.check = CheckMode::Keep;
             else if (v == "off")
                 o.check = CheckMode::Off;
             else
                 fail("the value of " + f + " must be on, keep or off, not \"" + v + "\"");
         }},
        {"-check-clip", [&](auto&, auto& v) { o.checkClip = v; }},
    };
    const std::map<std::string, std::string> aliases = {
        {"-b", "-b:v"}, {"-ab", "-b:a"}, {"-qscale:v", "-q:v"}};
    const std::map<std::string, std::function<void()>> switches = {
        {"-y", [&] { o.overwrite = true; }},       {"-vn", [&] { o.video.disabled = true; }},
        {"-an", [&] { o.audio.disabled = true; }}, {"-deinterlace", [&] { o.deinterlace = true; }},
        {"-bitexact", [&] { o.bitexact = true; }}, {"-h", [&] { o.help = true; }},
        {"-tile", [&] { o.followed = true; }},     {"--help", [&] { o.help = true; }},
        {"--version", [&] { o.version = true; }},
    };

    // The job's -i, -ss and -t, once each: a second one would silently replace the first.
    std::set<std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string flag = args[i];
        const bool fromProfile = o.profile.has_value();
        const std::string inProfile =
            fromProfile ? " in the profile \"" + *o.profile + "\"" : std::string();
        if (fromProfile && i + 1 == args.size()) {
            // Behind a profile's arguments the job always puts the output.
            if (looksLikeOption(flag))
                fail("no output file given after the profile \"" + *o.profile +
                     "\" (it comes last)");
            o.output = flag;
            continue;
        }
        if (auto alias = aliases.find(flag); alias != aliases.end())
            flag = alias->second;
        if (fromProfile) {
            if (const char* reason = refusedInProfile(flag))
                fail("the profile \"" + *o.profile + "\" may not give " + flag + ": " + reason);
        }
        if (auto sw = switches.find(flag); sw != switches.end()) {
            sw->second();
            continue;
        }
        if (auto setter = valued.find(flag); setter != valued.end()) {
            // A profile's last option cannot take the output for its value.
            const std::size_t end = fromProfile ? args.size() - 1 : args.size();
            if (i + 1 >= end)
                fail("the option " + args[i] + inProfile + " needs a value");
            if ((flag == "-i" || flag == "-ss" || flag == "-t") && !given.insert(flag).second)
                fail(flag + " given twice: the source, start and length are given once each");
            setter->second(args[i], args[i + 1]);
            ++i;
            continue;
        }
        if (looksLikeOption(flag))
            fail("unknown option " + flag + inProfile);
        if (fromProfile)
            fail("the profile \"" + *o.profile + "\" gives a stray argument \"" + flag +
                 "\": the job gives the output, a profile only options and their values");
        if (i + 1 != args.size())
            fail("unexpected argument \"" + flag +
                 "\": only the output file comes without an option, last");
        o.output = flag;
    }
    if (o.help || o.version)
        return o;
    if (o.input.empty())
        fail("no source file given (-i SOURCE)");
    if (!o.checkClip.empty()) {
        if (!o.output.empty())
            fail("-check-clip makes no clip: give no output file");
        return o;
    }
    if (o.output.empty())
        fail("no output file given (it comes last)");
    if (o.video.disabled && o.audio.disabled)
        fail("-vn and -an together leave nothing to write");
    checkCopyConflicts(o);
    if (!o.ranges.empty()) {
        if (given.count("-ss") || given.count("-t"))
            fail("-range gives the sections to join: it cannot go with -ss or -t");
        if (const std::string problem = contract::joinRangesProblem(o.ranges); !problem.empty())
            fail(problem);
    }
    return o;
}

const char* helpText() {
    return "usage: vorkast [-y] -i SOURCE [-ss SECONDS] [-t SECONDS] [options] OUTPUT\n"
           "Cuts one section out of SOURCE and writes it to OUTPUT, converting it on the way.\n"
           "The container follows OUTPUT's extension unless -f NAME is given.\n"
           "\n"
           "  -y                replace OUTPUT if it exists\n"
           "  -profile NAME     the arguments after it, up to OUTPUT, are those of the output\n"
           "                    profile NAME; they may not give -i, -ss, -t or -y\n"
           "  -ss SECONDS       where the section starts (\"12.5\")\n"
           "  -t SECONDS        how long the section is; to the end of the source if left out\n"
           "  -range START:END[:LABEL]  repeated: join these sections of SOURCE, in this order,\n"
           "                    into OUTPUT, each cut as -ss/-t would cut it, one chapter each\n"
           "                    (named LABEL or \"Range N\"); seconds with \".\"; not with -ss/-t\n"
           "  -c copy           copy all streams without encoding (cuts at the keyframe before "
           "-ss)\n"
           "  -cut exact        with copied video: start at the frame on screen at -ss and end\n"
           "                    before the frame on screen at the end, encoding only the frames\n"
           "                    around the cuts again (-cut keyframe: the default above)\n"
           "  -tile             another clip starts at the end: where -cut exact falls back\n"
           "                    to the keyframe before -ss, end at the keyframe before the\n"
           "                    end too, where that clip starts, so no frame is in both\n"
           "video:  -vcodec|-c:v NAME|copy  -b:v RATE  -s WxH  -r FPS  -aspect W:H  -deinterlace\n"
           "        -vf GRAPH  -pix_fmt NAME  -crf N  -preset NAME  -deadline NAME  -cpu-used N\n"
           "        -q:v N  -g N  -vn\n"
           "audio:  -acodec|-c:a NAME|copy  -b:a RATE  -ar HZ  -ac N  -vol N (256 = unchanged)\n"
           "        -af GRAPH  -an\n"
           "both:   -f NAME  -bitexact  -threads N  --help  --version\n"
           "check:  -check on|keep|off   each clip is checked against the source before it is\n"
           "                    put in place: first picture, pictures, seams, sound (on: a\n"
           "                    clip that fails is removed; keep: kept all the same)\n"
           "        -check-clip CLIP     make nothing; check CLIP against -i, -ss and -t\n"
           "\n"
           "Progress goes to standard error as reports of the seconds done so far.\n"
           "Exit status: 0 the clip is complete; 3 the clip was written but the source ended\n"
           "or broke early, so it is shorter than asked (the last report gives its length);\n"
           "1 failed, nothing written (the last line says why); 4 the clip failed its check\n"
           "(the line \"check failed: ...\" says how; with -check keep it is kept);\n"
           "128+N ended by signal N. -check-clip: 0 the clip holds, 4 it does not, 1 it\n"
           "cannot be checked.\n";
}

} // namespace vorkast
