// Values a capture may spell but no clip, scene or glTF file holds: every
// route refuses them in one line naming the line, and writes nothing.
#include "CliFixture.h"

namespace clitest {
namespace {

class OutOfRange : public Cli {};

std::string capture(const std::string& offset, const std::string& frameTime, const std::string& value) {
    return "HIERARCHY\nROOT hips\n{\n\tOFFSET 0 " + offset + " 0\n\tCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
           "\tJOINT arm\n\t{\n\t\tOFFSET 0 50 0\n\t\tCHANNELS 3 Zrotation Xrotation Yrotation\n"
           "\t\tEnd Site\n\t\t{\n\t\t\tOFFSET 0 50 0\n\t\t}\n\t}\n}\n"
           "MOTION\nFrames: 2\nFrame Time: " + frameTime + "\n0 90 0 0 0 0 0 0 0\n" + value + " 90 0 0 0 0 0 0 0\n";
}

TEST_F(OutOfRange, EveryRouteRefusesInOneLineNamingTheLine) {
    const struct {
        const char* what;
        std::string text;
        std::string line;
    } cases[] = {
        {"an offset beyond a float", capture("1e300", "0.04", "0"),
         "line 4: OFFSET value '1e300' is beyond a float's range (±3.4e38)"},
        {"a position beyond a float", capture("90", "0.04", "-4e38"),
         "line 20: frame 1: value '-4e38' is beyond a float's range (±3.4e38)"},
        {"frames too far apart", capture("90", "1e308", "0"),
         "line 18: Frame Time 1e308 is not from 0.00001 to 3600 seconds (100,000 frames a second to one an hour)"},
        {"frames too close", capture("90", "1e-320", "0"),
         "line 18: Frame Time 1e-320 is not from 0.00001 to 3600 seconds (100,000 frames a second to one an hour)"},
    };
    for (const auto& c : cases) {
        spit(path("bad.bvh"), c.text);
        for (const char* out : {"out.qmf", "out.ma", "out.glb"}) {
            SCOPED_TRACE(std::string(c.what) + " to " + out);
            Result r = run({"convert", path("bad.bvh"), path(out)});
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "qmf: " + path("bad.bvh") + ": " + c.line + "\n");
            EXPECT_FALSE(fs::exists(path(out)));
        }
    }
    // The edges themselves are values a capture may hold.
    spit(path("edge.bvh"), capture("3.4e38", "0.00001", "-3.4e38"));
    Result r = run({"convert", path("edge.bvh"), path("edge.qmf")});
    EXPECT_EQ(r.status, 0) << r.err;
    spit(path("slow.bvh"), capture("90", "3600", "0"));
    r = run({"convert", path("slow.bvh"), path("slow.ma")});
    EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
}  // namespace clitest
