// The converter's command line: what the split job and the shipped profiles pass must read
// right, and anything else must be refused with a line that names the problem.
#include "convert_error.h"
#include "join_ranges.h"
#include "options.h"

#include <QtTest>

#include <charconv>

using vorkast::Options;

namespace {

std::vector<std::string> toArgs(const QStringList& list) {
    std::vector<std::string> args;
    for (const QString& s : list)
        args.push_back(s.toStdString());
    return args;
}

QString number(double v) {
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return QString::fromLatin1(text, int(end - text));
}

// The settings that differ from a plain run, in a fixed order.
QString describe(const Options& o) {
    QStringList d;
    auto add = [&](const QString& key, const QString& value) { d << key + "=" + value; };
    if (o.overwrite)
        d << "y";
    add("i", QString::fromStdString(o.input));
    if (o.start != 0)
        add("ss", number(o.start));
    if (o.length)
        add("t", number(*o.length));
    for (const auto& range : o.ranges)
        add("range",
            number(range.start) + "-" + number(range.end) +
                (range.label.empty() ? QString() : "/" + QString::fromStdString(range.label)));
    if (o.profile)
        add("profile", QString::fromStdString(*o.profile));
    if (!o.format.empty())
        add("f", QString::fromStdString(o.format));
    if (o.video.disabled)
        d << "vn";
    if (!o.video.codec.empty())
        add("vcodec", QString::fromStdString(o.video.codec));
    if (o.video.bitRate)
        add("vb", QString::number(o.video.bitRate));
    if (o.width)
        add("s", QStringLiteral("%1x%2").arg(o.width).arg(o.height));
    if (o.frameRate.num)
        add("r", QStringLiteral("%1/%2").arg(o.frameRate.num).arg(o.frameRate.den));
    if (o.aspect.num)
        add("aspect", QString::number(av_q2d(o.aspect), 'f', 4));
    if (o.deinterlace)
        d << "deinterlace";
    if (!o.video.filters.empty())
        add("vf", QString::fromStdString(o.video.filters));
    if (!o.pixelFormat.empty())
        add("pix_fmt", QString::fromStdString(o.pixelFormat));
    if (o.quality)
        add("q", number(*o.quality));
    if (o.gop)
        add("g", QString::number(o.gop));
    for (const auto& [k, v] : o.video.encoderOptions)
        add(QString::fromStdString(k), QString::fromStdString(v));
    if (o.audio.disabled)
        d << "an";
    if (!o.audio.codec.empty())
        add("acodec", QString::fromStdString(o.audio.codec));
    if (o.audio.bitRate)
        add("ab", QString::number(o.audio.bitRate));
    if (o.sampleRate)
        add("ar", QString::number(o.sampleRate));
    if (o.channels)
        add("ac", QString::number(o.channels));
    if (o.volume != 256)
        add("vol", QString::number(o.volume));
    if (!o.audio.filters.empty())
        add("af", QString::fromStdString(o.audio.filters));
    if (o.cut == vorkast::CutMode::Exact)
        d << "cut=exact";
    if (o.bitexact)
        d << "bitexact";
    if (o.threads)
        add("threads", QString::number(o.threads));
    if (o.check != vorkast::CheckMode::On)
        d << (o.check == vorkast::CheckMode::Keep ? "check=keep" : "check=off");
    if (!o.checkClip.empty())
        add("check-clip", QString::fromStdString(o.checkClip));
    add("out", QString::fromStdString(o.output));
    return d.join(' ');
}

} // namespace

class TestOptions : public QObject {
    Q_OBJECT
private slots:
    void reads_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the job's own line")
            << QStringList{"-y", "-i", "D:/Video/holiday.avi", "-ss", "10.0", "-t", "12.5", "o.mp4"}
            << "y i=D:/Video/holiday.avi ss=10 t=12.5 out=o.mp4";
        QTest::newRow("fifteen digits and an exponent are kept")
            << QStringList{"-i", "a.mp4", "-ss", "3.33333333333333", "-t", "5e-05", "o.mp4"}
            << "i=a.mp4 ss=3.33333333333333 t=5e-05 out=o.mp4";
        QTest::newRow("ranges to join, in the order given, labels with colons kept")
            << QStringList{"-i",     "a.mp4",
                           "-range", "62.5:70:Intro: the hall",
                           "-range", "3.3333333333333335:10",
                           "o.mkv"}
            << "i=a.mp4 range=62.5-70/Intro: the hall range=3.3333333333333335-10 out=o.mkv";
        QTest::newRow("lossless") << QStringList{"-i", "a.mpg", "-c", "copy", "o.mpg"}
                                  << "i=a.mpg vcodec=copy acodec=copy out=o.mpg";
        QTest::newRow("lossless and exact")
            << QStringList{"-i", "a.mpg", "-c", "copy", "-cut", "exact", "o.mpg"}
            << "i=a.mpg vcodec=copy acodec=copy cut=exact out=o.mpg";
        QTest::newRow("a failing clip kept")
            << QStringList{"-i", "a", "-check", "keep", "o.mp4"} << "i=a check=keep out=o.mp4";
        QTest::newRow("no check") << QStringList{"-i", "a", "-check", "off", "o.mp4"}
                                  << "i=a check=off out=o.mp4";
        QTest::newRow("a clip checked alone, no output")
            << QStringList{"-check-clip", "c.mp4", "-i", "a", "-ss", "2", "-t", "1"}
            << "i=a ss=2 t=1 check-clip=c.mp4 out=";
        QTest::newRow("keyframe cut named")
            << QStringList{"-i", "a", "-cut", "keyframe", "o.mp4"} << "i=a out=o.mp4";
        QTest::newRow("exact with an encoder changes nothing else")
            << QStringList{"-i", "a", "-vcodec", "mpeg4", "-cut", "exact", "o.avi"}
            << "i=a vcodec=mpeg4 cut=exact out=o.avi";
        QTest::newRow("a typical profile")
            << QStringList{"-i",      "a",       "-vcodec", "libx264", "-b:v",    "800k",
                           "-s",      "640x480", "-r",      "25",      "-aspect", "16:9",
                           "-acodec", "aac",     "-b:a",    "128k",    "-ar",     "44100",
                           "-ac",     "2",       "-vol",    "512",     "o.mp4"}
            << "i=a vcodec=libx264 vb=800000 s=640x480 r=25/1 aspect=1.7778 acodec=aac "
               "ab=128000 ar=44100 ac=2 vol=512 out=o.mp4";
        QTest::newRow("other spellings")
            << QStringList{"-i",  "a",   "-c:v",    "mpeg4",  "-b", "1.5M",       "-c:a", "mp2",
                           "-ab", "64k", "-aspect", "1.7778", "-r", "30000/1001", "o.avi"}
            << "i=a vcodec=mpeg4 vb=1500000 r=30000/1001 aspect=1.7778 acodec=mp2 ab=64000 "
               "out=o.avi";
        QTest::newRow("switches") << QStringList{"-i",        "a",        "-vn", "-deinterlace",
                                                 "-bitexact", "-threads", "2",   "o.mp3"}
                                  << "i=a vn deinterlace bitexact threads=2 out=o.mp3";
        QTest::newRow("encoder settings")
            << QStringList{"-i",      "a",         "-vcodec", "libvpx-vp9", "-crf",
                           "31",      "-deadline", "good",    "-cpu-used",  "4",
                           "-q:v",    "4",         "-g",      "12",         "-pix_fmt",
                           "yuv420p", "-preset",   "fast",    "-vf",        "hflip",
                           "-af",     "volume=2",  "-f",      "webm",       "o.webm"}
            << "i=a f=webm vcodec=libvpx-vp9 vf=hflip pix_fmt=yuv420p q=4 g=12 crf=31 "
               "deadline=good cpu-used=4 preset=fast af=volume=2 out=o.webm";
        QTest::newRow("empty tokens from doubled blanks are skipped")
            << QStringList{"-i", "a", "", "-an", "", "o.mp4"} << "i=a an out=o.mp4";
        QTest::newRow("the job's line with a shipped profile")
            << QStringList{"-y",      "-i",      "a.avi",    "-ss",      "1",
                           "-t",      "2",       "-profile", "MP4",      "-c:v",
                           "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p",
                           "-c:a",    "aac",     "-b:a",     "128k",     "/o/a_Clip1.mp4"}
            << "y i=a.avi ss=1 t=2 profile=MP4 vcodec=libx264 pix_fmt=yuv420p preset=veryfast "
               "acodec=aac ab=128000 out=/o/a_Clip1.mp4";
        QTest::newRow("a profile without arguments, its name empty")
            << QStringList{"-i", "a", "-profile", "", "o.mp4"} << "i=a profile= out=o.mp4";
        QTest::newRow("a profile's last switch before the output")
            << QStringList{"-i", "a", "-profile", "Web", "-vn", "o.mp3"}
            << "i=a profile=Web vn out=o.mp3";
        QTest::newRow("filters that only touch the frames")
            << QStringList{"-i",   "a",
                           "-vf",  "signalstats,metadata=mode=print,drawtext=text='a\\:b':x=2",
                           "-af",  "ametadata=mode=print,volume=2",
                           "o.mp4"}
            << "i=a vf=signalstats,metadata=mode=print,drawtext=text='a\\:b':x=2 "
               "af=ametadata=mode=print,volume=2 out=o.mp4";
    }
    void reads() {
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        QCOMPARE(describe(vorkast::parseOptions(toArgs(args))), expected);
    }

    void refuses_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QStringList in{"-i", "a.mp4"};
        QTest::newRow("no source") << QStringList{"o.mp4"} << "no source";
        QTest::newRow("no output") << in << "no output";
        QTest::newRow("unknown option")
            << in + QStringList{"-frobnicate", "o.mp4"} << "unknown option -frobnicate";
        QTest::newRow("value missing") << in + QStringList{"-ss"} << "-ss needs a value";
        QTest::newRow("comma decimal") << in + QStringList{"-ss", "1,5", "o.mp4"} << "-ss";
        QTest::newRow("negative start") << in + QStringList{"-ss", "-3", "o.mp4"} << "-ss";
        QTest::newRow("not a number") << in + QStringList{"-ss", "nan", "o.mp4"} << "-ss";
        QTest::newRow("zero length") << in + QStringList{"-t", "0", "o.mp4"} << "more than 0";
        QTest::newRow("unknown encoder")
            << in + QStringList{"-vcodec", "nosuch", "o.mp4"} << "unknown encoder \"nosuch\"";
        QTest::newRow("audio encoder for video")
            << in + QStringList{"-vcodec", "aac", "o.mp4"} << "not a video encoder";
        QTest::newRow("video encoder for audio")
            << in + QStringList{"-acodec", "libx264", "o.mp4"} << "not an audio encoder";
        QTest::newRow("-c with an encoder")
            << in + QStringList{"-c", "libx264", "o.mp4"} << "only takes copy";
        QTest::newRow("unknown check")
            << in + QStringList{"-check", "maybe", "o.mp4"} << "-check must be on, keep or off";
        QTest::newRow("a clip checked alone makes none")
            << in + QStringList{"-check-clip", "c.mp4", "o.mp4"} << "give no output file";
        QTest::newRow("unknown cut")
            << in + QStringList{"-cut", "smart", "o.mp4"} << "-cut must be exact or keyframe";
        QTest::newRow("bad bit rate") << in + QStringList{"-b:v", "800x", "o.mp4"} << "bit rate";
        QTest::newRow("bad size") << in + QStringList{"-s", "640by480", "o.mp4"} << "size";
        QTest::newRow("bad rate") << in + QStringList{"-r", "0", "o.mp4"} << "frame rate";
        QTest::newRow("bad aspect") << in + QStringList{"-aspect", "0:9", "o.mp4"} << "ratio";
        QTest::newRow("bad sample rate") << in + QStringList{"-ar", "12", "o.mp4"} << "-ar";
        QTest::newRow("bad pixel format")
            << in + QStringList{"-pix_fmt", "nosuch", "o.mp4"} << "pixel format";
        QTest::newRow("bad container")
            << in + QStringList{"-f", "nosuch", "o.mp4"} << "unknown container";
        QTest::newRow("size with copy") << in + QStringList{"-c", "copy", "-s", "320x240", "o.mp4"}
                                        << "-s needs the video to be encoded";
        QTest::newRow("filter with copy")
            << in + QStringList{"-vcodec", "copy", "-vf", "hflip", "o"}
            << "-vf needs the video to be encoded";
        QTest::newRow("volume with copy") << in + QStringList{"-acodec", "copy", "-vol", "512", "o"}
                                          << "-vol needs the audio to be encoded";
        QTest::newRow("nothing left") << in + QStringList{"-vn", "-an", "o.mp4"} << "nothing";
        QTest::newRow("two outputs") << in + QStringList{"a.mp4", "b.mp4"} << "unexpected argument";
        // Keeping the last of a repeated -i, -ss or -t cut a different source or range silently.
        QTest::newRow("-i twice") << in + QStringList{"-i", "b.mp4", "o.mp4"} << "-i given twice";
        QTest::newRow("-ss twice")
            << in + QStringList{"-ss", "1", "-ss", "5", "o.mp4"} << "-ss given twice";
        QTest::newRow("-t twice") << in + QStringList{"-t", "1", "-t", "5", "o.mp4"}
                                  << "-t given twice";
        QTest::newRow("-profile without a name") << in + QStringList{"-profile"} << "needs a value";
        // A joined clip's ranges: the rows are named by their place.
        QTest::newRow("ranges overlapping")
            << in + QStringList{"-range", "1:3", "-range", "5:6", "-range", "2.5:4", "o.mp4"}
            << "range 3 (2.500 to 4.000 s) overlaps range 1 (1.000 to 3.000 s)";
        QTest::newRow("range empty") << in + QStringList{"-range", "2:2", "o.mp4"} << "is empty";
        QTest::newRow("range without an end")
            << in + QStringList{"-range", "2", "o.mp4"} << "no range START:END[:LABEL]";
        QTest::newRow("range time in minutes")
            << in + QStringList{"-range", "1:00:1:30", "o.mp4"} << "is empty";
        QTest::newRow("range beside -t")
            << in + QStringList{"-t", "4", "-range", "1:2", "o.mp4"} << "cannot go with -ss or -t";
        QTest::newRow("range label with an escape")
            << in + QStringList{"-range", "1:2:\x1b[2Jx", "o.mp4"} << "the label of the range";
        QTest::newRow("a range in a profile")
            << in + QStringList{"-profile", "Web", "-range", "1:2", "o.mp4"}
            << "may not give -range";
        QTest::newRow("a profile but no output") << in + QStringList{"-profile", "Web", "-an"}
                                                 << "no output file given after the "
                                                    "profile \"Web\"";
    }

    // Filter graphs are read the way libavfilter reads them (quotes, escapes, instance names,
    // labels, options by position and by any of their names), and a filter or option that
    // opens files, loads code or listens on the network is refused before any work.
    void refusesFilters_data() {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("graph");
        QTest::addColumn<QString>("message");
        const QString reaches = "reads or writes outside the job";
        QTest::newRow("movie") << "-vf"
                               << "movie=/etc/passwd"
                               << "filter \"movie\" " + reaches;
        QTest::newRow("amovie") << "-af"
                                << "amovie=/etc/passwd"
                                << "filter \"amovie\"";
        QTest::newRow("a quoted name") << "-vf"
                                       << "'movie'=x"
                                       << "filter \"movie\"";
        QTest::newRow("an escaped name") << "-vf"
                                         << "mov\\ie=x"
                                         << "filter \"movie\"";
        QTest::newRow("an instance name") << "-vf"
                                          << "hflip,movie@one=x"
                                          << "filter \"movie\"";
        QTest::newRow("a second chain behind labels") << "-vf"
                                                      << "[in]hflip[a];[a] movie=x [b]"
                                                      << "filter \"movie\"";
        QTest::newRow("inline commands") << "-vf"
                                         << "sendcmd=c='0 drawtext reinit text=x'"
                                         << "filter \"sendcmd\"";
        QTest::newRow("network commands") << "-af"
                                          << "azmq"
                                          << "filter \"azmq\"";
        QTest::newRow("a model family") << "-vf"
                                        << "dnn_processing=model=m.pb"
                                        << "filter \"dnn_processing\"";
        QTest::newRow("metadata writing a file")
            << "-vf"
            << "signalstats,metadata=mode=print:file=/tmp/victim"
            << "option \"file\" of the filter \"metadata\"";
        QTest::newRow("the file given by position") << "-vf"
                                                    << "metadata=print:::::/tmp/victim"
                                                    << "option \"file\" of the filter";
        QTest::newRow("ametadata writing a file") << "-af"
                                                  << "ametadata=mode=print:file=/tmp/victim"
                                                  << "option \"file\" of the filter \"ametadata\"";
        QTest::newRow("a font file") << "-vf"
                                     << "drawtext=fontfile=/etc/passwd:text=a"
                                     << "option \"fontfile\" of the filter \"drawtext\"";
        QTest::newRow("a text file") << "-vf"
                                     << "drawtext=textfile=/etc/passwd"
                                     << "option \"textfile\"";
        QTest::newRow("another name for a file option") << "-vf"
                                                        << "psnr=f=/tmp/victim"
                                                        << "option \"f\" of the filter \"psnr\"";
        QTest::newRow("a dump file") << "-af"
                                     << "firequalizer=dumpfile=/tmp/victim"
                                     << "option \"dumpfile\"";
        QTest::newRow("a curves file") << "-vf"
                                       << "curves=psfile=/etc/passwd"
                                       << "psfile";
        QTest::newRow("a value without a name after a named one") << "-vf"
                                                                  << "pad=color=black:1280:720"
                                                                  << "after a named one";
        QTest::newRow("no such filter") << "-vf"
                                        << "nosuchfilter"
                                        << "no filter \"nosuchfilter\"";
        QTest::newRow("a label left open") << "-vf"
                                           << "[in hflip"
                                           << "cannot be read";
        QTest::newRow("text after the graph") << "-vf"
                                              << "scale=320:240]x"
                                              << "cannot be read";
    }
    void refusesFilters() {
        QFETCH(QString, flag);
        QFETCH(QString, graph);
        QFETCH(QString, message);
        try {
            vorkast::parseOptions(toArgs({"-i", "a.mp4", flag, graph, "o.mp4"}));
            QFAIL("accepted");
        } catch (const vorkast::ConvertError& e) {
            const QString text = QString::fromUtf8(e.what());
            QVERIFY2(text.contains(message), qPrintable(text));
            QVERIFY2(text.contains(flag), qPrintable(text));
        }
    }
    void refuses() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        try {
            vorkast::parseOptions(toArgs(args));
            QFAIL("accepted");
        } catch (const vorkast::ConvertError& e) {
            const QString text = QString::fromUtf8(e.what());
            QVERIFY2(text.contains(message), qPrintable(text));
        }
    }

    // A range's label comes from a user's list or a stranger's file: both sides keep it to one
    // line of printable UTF-8 of a bounded length, and a range's text reads back the same.
    void rangeLabels_data() {
        QTest::addColumn<QByteArray>("label");
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("plain") << QByteArray("Opening") << QByteArray("Opening");
        QTest::newRow("colons and quotes are data")
            << QByteArray("a:b \"c\" 'd'") << QByteArray("a:b \"c\" 'd'");
        QTest::newRow("line breaks, tabs and blanks at the ends")
            << QByteArray("  one\r\ntwo\tthree  ") << QByteArray("one two three");
        QTest::newRow("a terminal escape") << QByteArray("\x1b[2Jgone") << QByteArray("[2Jgone");
        QTest::newRow("C1 controls") << QByteArray("a\xc2\x9b"
                                                   "1mb")
                                     << QByteArray("a1mb");
        QTest::newRow("invalid UTF-8 dropped")
            << QByteArray("caf\xe9 \xc3\xa9t\xc3") << QByteArray("caf \xc3\xa9t");
        QTest::newRow("overlong form dropped") << QByteArray("a\xc0\xaf"
                                                             "b")
                                               << QByteArray("ab");
        QTest::newRow("cut between characters")
            << QByteArray(199, 'x') + QByteArray("\xc3\xa9") << QByteArray(199, 'x');
    }
    void rangeLabels() {
        QFETCH(QByteArray, label);
        QFETCH(QByteArray, kept);
        const std::string clean = vorkast::contract::cleanRangeLabel(label.toStdString());
        QCOMPARE(QByteArray::fromStdString(clean), kept);
        // The job's argument carries it to the converter unchanged.
        vorkast::contract::JoinRange range{1.0 / 3.0, 2.000000000000001, label.toStdString()};
        std::string problem;
        const auto read =
            vorkast::contract::parseJoinRange(vorkast::contract::formatJoinRange(range), &problem);
        QVERIFY2(read, problem.c_str());
        QCOMPARE(read->start, range.start);
        QCOMPARE(read->end, range.end);
        QCOMPARE(QByteArray::fromStdString(read->label), kept);
    }
};

QTEST_APPLESS_MAIN(TestOptions)
#include "test_options.moc"
