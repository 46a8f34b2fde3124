// The table of formats, the routes and the plumbing readers and writers
// meet at, with a fake format: no file format is needed to test the order
// in which a transfer asks, warns, writes and refuses.
#include "formats/Error.h"
#include "formats/Formats.h"
#include "formats/Model.h"
#include "formats/Routes.h"
#include "formats/Session.h"
#include "formats/Units.h"
#include "formats/maya/MayaFormat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qmf::formats;

namespace {

// Two frames of one joint; says what it is asked, in order, into a shared log.
class FakeReader : public Reader {
public:
    explicit FakeReader(std::vector<std::string>& log) : log_(log) {
        skeleton_.path = "fake";
        skeleton_.frames = 2;
        Joint j;
        j.name = "root";
        j.rotation = true;
        skeleton_.joints = {j};
    }
    const Skeleton& skeleton() const override { return skeleton_; }
    void warn(std::ostream& out) override {
        log_.push_back("reader warns");
        out << "qmf: warning: from the reader\n";
    }
    bool next(Frame& f) override {
        if (served_ == skeleton_.frames) return false;
        f.euler.assign(1, {double(served_), 0, 0});
        log_.push_back("frame " + std::to_string(served_++));
        return true;
    }

private:
    std::vector<std::string>& log_;
    Skeleton skeleton_;
    uint32_t served_ = 0;
};

class FakeWriter : public Writer {
public:
    FakeWriter(std::vector<std::string>& log, bool refuse) : log_(log), refuse_(refuse) {}
    void check(const Skeleton& s) override {
        log_.push_back("check " + s.path);
        if (refuse_) throw qmf::FormatError("refused");
    }
    void begin(const Skeleton&, std::ostream& warn) override {
        log_.push_back("begin");
        warn << "qmf: warning: from the writer\n";
    }
    void frame(const Frame& f) override { log_.push_back("write " + std::to_string(int(f.euler.at(0)[0]))); }
    Written finish(std::ostream&) override {
        log_.push_back("finish");
        return {1, 2, "done"};
    }

private:
    std::vector<std::string>& log_;
    bool refuse_;
};

std::string tempFolder() {
    char tmpl[] = "/tmp/formats-test-XXXXXX";
    return ::mkdtemp(tmpl) ? tmpl : "";
}

}  // namespace

TEST(Transfer, AsksTheWriterFirstThenWarnsThenStreamsFrameByFrame) {
    std::vector<std::string> log;
    FakeReader reader(log);
    FakeWriter writer(log, false);
    std::ostringstream warn;
    const Written w = transfer(reader, writer, warn);
    EXPECT_EQ(w.summary, "done");
    // Each frame is written before the next is read: nothing is held whole.
    const std::vector<std::string> want = {"check fake", "reader warns", "begin",  "frame 0",
                                           "write 0",    "frame 1",      "write 1", "finish"};
    EXPECT_EQ(log, want);
    EXPECT_EQ(warn.str(), "qmf: warning: from the reader\nqmf: warning: from the writer\n");
}

TEST(Transfer, ARefusedSkeletonSaysNothingElse) {
    std::vector<std::string> log;
    FakeReader reader(log);
    FakeWriter writer(log, true);
    std::ostringstream warn;
    EXPECT_THROW(transfer(reader, writer, warn), qmf::FormatError);
    EXPECT_EQ(log, std::vector<std::string>{"check fake"});
    EXPECT_EQ(warn.str(), "");
}

TEST(FormatTable, NamesGiveTheFormatInAnyCaseAndOnlyTheLastExtensionCounts) {
    const struct {
        const char* path;
        bool known;
        Format format;
    } cases[] = {
        {"walk.bvh", true, Format::Bvh},       {"WALK.BVH", true, Format::Bvh},     {"a/b.c/clip.QmF", true, Format::Clip},
        {"scene.ma", true, Format::MayaAscii}, {"scene.ma.bak", false, Format::Clip}, {"dir.bvh/noext", false, Format::Clip},
        {"noext", false, Format::Clip},        {".bvh", true, Format::Bvh},
    };
    for (const auto& c : cases) {
        Format f = Format::Clip;
        EXPECT_EQ(formatOfName(c.path, f), c.known) << c.path;
        if (c.known) {
            EXPECT_EQ(f, c.format) << c.path;
        }
    }
}

TEST(FormatTable, ContentComesBeforeTheName) {
    const std::string dir = tempFolder();
    ASSERT_FALSE(dir.empty());
    const struct {
        const char* name;
        const char* text;
        bool known;
        Format format;
    } cases[] = {
        {"capture.txt", "\xEF\xBB\xBF \r\n\tHIERARCHY\nROOT a\n", true, Format::Bvh},
        {"scene.qmf", "//Maya ASCII 2018 scene\n", true, Format::MayaAscii},
        {"notes.bvh", "not a capture", true, Format::Bvh},  // the name, when the content says nothing
        {"notes.txt", "HIERARCH\n", false, Format::Clip},
        {"empty.txt", "", false, Format::Clip},
    };
    for (const auto& c : cases) {
        const std::string path = dir + "/" + c.name;
        std::ofstream(path, std::ios::binary) << c.text;
        Format f = Format::Clip;
        EXPECT_EQ(formatOfContent(path, f), c.known) << c.name;
        if (c.known) {
            EXPECT_EQ(f, c.format) << c.name;
        }
    }
    fs::remove_all(dir);
}

TEST(FormatTable, EveryRowIsWholeAndTheListsFollowIt) {
    for (const FormatRow& r : formatTable()) {
        EXPECT_EQ(&row(r.id), &r);
        Format f = Format::Clip;
        EXPECT_TRUE(formatOfName(std::string("x.") + r.key, f)) << r.key;
        EXPECT_EQ(f, r.id);
        // The library's many other formats are listed by convert --help, not in one line.
        if (r.id != Format::Assimp) {
            EXPECT_NE(extensionHint().find(std::string(".") + r.key), std::string::npos) << r.key;
        }
        if (r.view) {
            EXPECT_NE(viewableList().find(r.description), std::string::npos) << r.key;
        }
    }
    EXPECT_EQ(extensionHint(), "(use .bvh, .qmf, .ma, .fbx, .glb or .dae)");
    EXPECT_EQ(viewableList(), "a Movantis clip, a Maya ASCII scene, a BVH file, an FBX file, a glTF file, a Collada file "
                              "or another 3D file the assimp library reads");
}

TEST(Routes, EachPairIsARouteOrOneClearRefusal) {
    const struct {
        Format from, to;
        const char* refusal;  // null: a route
    } cases[] = {
        {Format::Bvh, Format::Clip, nullptr},
        {Format::Clip, Format::Bvh, nullptr},
        {Format::Clip, Format::MayaAscii, nullptr},
        {Format::Bvh, Format::MayaAscii, nullptr},
        {Format::MayaAscii, Format::Clip, nullptr},
        {Format::MayaAscii, Format::Bvh, nullptr},
        {Format::MayaAscii, Format::MayaAscii, "convert: Maya ASCII to Maya ASCII is not a conversion qmf makes"},
        {Format::Clip, Format::Clip, "convert: Movantis clip to Movantis clip is not a conversion qmf makes"},
        {Format::Bvh, Format::Bvh, "convert: BVH to BVH is not a conversion qmf makes"},
    };
    for (const auto& c : cases) {
        if (!c.refusal) {
            EXPECT_NO_THROW(routeFor(c.from, c.to));
            continue;
        }
        try {
            routeFor(c.from, c.to);
            ADD_FAILURE() << c.refusal;
        } catch (const qmf::FormatError& e) {
            EXPECT_EQ(std::string(e.what()), c.refusal);
        }
    }
}

TEST(Routes, AnOptionARouteDoesNotTakeIsNamedWithTheRoute) {
    const Route& capture = routeFor(Format::Bvh, Format::MayaAscii);
    EXPECT_NO_THROW(checkOptions(capture, kOptUnit));
    try {
        checkOptions(capture, kOptUnit | kOptOrder | kOptPlugin);
        ADD_FAILURE() << "accepted";
    } catch (const qmf::FormatError& e) {
        // The first in the command's order of options.
        EXPECT_EQ(std::string(e.what()), "convert: --plugin does not apply to BVH to Maya ASCII");
    }
    EXPECT_NO_THROW(checkOptions(routeFor(Format::Clip, Format::Bvh), kOptUnit | kOptOrder));
}

TEST(Units, OneTableForEveryUnit) {
    std::size_t count = 0;
    const LengthUnit* units = lengthUnits(count);
    ASSERT_EQ(count, 6u);
    EXPECT_STREQ(units[0].name, "cm");  // the default
    EXPECT_EQ(lengthUnit("in").cm, 2.54);
    EXPECT_STREQ(lengthUnit("m").mayaName, "meter");
    EXPECT_EQ(lengthUnit("dm").mayaName, nullptr);  // Maya has no decimetre
    try {
        lengthUnit("yd");
        ADD_FAILURE() << "accepted";
    } catch (const qmf::FormatError& e) {
        EXPECT_EQ(std::string(e.what()), "--unit must be cm, mm, dm, m, in or ft, not 'yd'");
    }
}

TEST(Convert, AFileWhoseFormatCannotBeToldIsRefusedBeforeAnythingIsRead) {
    std::ostringstream warn;
    try {
        convert("/nonexistent/in.bvh", "/nonexistent/out.txt", ConvertOptions{}, warn);
        ADD_FAILURE() << "accepted";
    } catch (const qmf::FormatError& e) {
        EXPECT_EQ(std::string(e.what()), "convert: cannot tell the format of /nonexistent/out.txt (use .bvh, .qmf, .ma, .fbx, .glb or .dae)");
    }
}

// A source of ten frames whose frame k carries k, and counts what it served.
class CountingReader : public Reader {
public:
    explicit CountingReader(uint32_t frames) {
        skeleton_.path = "ten";
        skeleton_.frames = frames;
        skeleton_.frameTime = 0.1;
        skeleton_.joints.resize(1);
    }
    const Skeleton& skeleton() const override { return skeleton_; }
    bool next(Frame& f) override {
        if (served == skeleton_.frames) return false;
        f.euler.assign(1, {double(served++), 0, 0});
        return true;
    }
    uint32_t served = 0;

private:
    Skeleton skeleton_;
};

TEST(SelectFrames, ChoosesAToBEveryNthAndStopsReadingAfterB) {
    const struct {
        const char* frames;
        uint32_t step;
        std::vector<int> want;
        uint32_t read;  // frames the source served
    } cases[] = {
        {"", 1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 10},
        {"2:5", 1, {2, 3, 4, 5}, 6},
        {"1:9", 4, {1, 5, 9}, 10},
        {"", 3, {0, 3, 6, 9}, 10},
        {"3:8", 10, {3}, 4},
        {"7:7", 1, {7}, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.frames) + " step " + std::to_string(c.step));
        auto source = std::make_unique<CountingReader>(10);
        CountingReader* raw = source.get();
        auto chosen = selectFrames(std::move(source), c.frames, c.step);
        EXPECT_EQ(chosen->skeleton().frames, c.want.size());
        EXPECT_DOUBLE_EQ(chosen->skeleton().frameTime, 0.1 * c.step);
        std::vector<int> got;
        Frame f;
        while (chosen->next(f)) got.push_back(int(f.euler[0][0]));
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(raw->served, c.read);
    }
}

TEST(SelectFrames, RefusesWhatTheSourceDoesNotHold) {
    const struct {
        const char* frames;
        uint32_t step;
        const char* line;
    } cases[] = {
        {"0:10", 1, "--frames 0:10 is outside the frames of ten, 0 to 9"},
        {"-1:3", 1, "--frames -1:3 is outside the frames of ten, 0 to 9"},
        {"1.5:3", 1, "--frames 1.5:3: ten has whole frames only"},
        {"4:2", 1, "--frames 4:2: the first frame comes after the last"},
        {"4", 1, "--frames needs A:B, the first and last frame, not '4'"},
        {"a:b", 1, "--frames needs A:B, the first and last frame, not 'a:b'"},
        {"", 0, "--step must be 1 or more"},
    };
    for (const auto& c : cases) {
        try {
            selectFrames(std::make_unique<CountingReader>(10), c.frames, c.step);
            ADD_FAILURE() << c.line;
        } catch (const qmf::FormatError& e) {
            EXPECT_EQ(std::string(e.what()), c.line);
        }
    }
}
