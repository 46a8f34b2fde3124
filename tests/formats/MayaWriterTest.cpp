// The Maya curves writer below the table: what it refuses before reading a
// frame, and keys spooled to disk against keys held in memory.
#include "formats/Error.h"
#include "formats/Formats.h"
#include "formats/Model.h"
#include "formats/Options.h"
#include "formats/Session.h"
#include "formats/maya/MayaFormat.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qmf::formats;

namespace {

// A scene the reader would refuse is refused before a frame is read: here
// 300 joints keyed on 16,777,216 frames, which no Maya ASCII file qmf reads
// can hold; the same skeleton over 100 frames is taken.
TEST(MayaWriter, AScenePastWhatQmfReadsBackIsRefusedBeforeAnyFrame) {
    const fs::path dir = fs::temp_directory_path() / ("qmf_formats_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    Skeleton s;
    s.path = "long.bvh";
    s.frameTime = 1.0 / 120;
    for (int i = 0; i < 300; ++i) {
        Joint j;
        j.name = "j" + std::to_string(i);
        j.parent = i - 1;
        j.rotation = true;
        j.position = i == 0;
        s.joints.push_back(j);
    }
    std::ostringstream warn;
    for (uint32_t frames : {16777216u, 100u}) {
        s.frames = frames;
        auto writer = writeMayaCurves(qmf::requireOutput((dir / "out.ma").string(), {}), ConvertOptions{});
        if (frames > 100) {
            try {
                writer->begin(s, warn);
                ADD_FAILURE() << "taken";
            } catch (const qmf::FormatError& e) {
                EXPECT_EQ(std::string(e.what()),
                          "long.bvh: 16777216 frames of 903 curves make a Maya ASCII scene larger than qmf reads back "
                          "(1024 MiB, 256 MiB a curve); --frames or --step take part of it, or convert to a clip");
            }
        } else {
            EXPECT_NO_THROW(writer->begin(s, warn));
        }
    }
    EXPECT_FALSE(fs::exists(dir / "out.ma"));
    fs::remove_all(dir);
}

// Keys spooled to disk make the same scene, byte for byte, as keys held in
// memory: every curve read back in order across the spool's blocks.
TEST(MayaWriter, SpooledKeysWriteTheSameSceneAsKeysInMemory) {
    const fs::path dir = fs::temp_directory_path() / ("qmf_spooled_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    Skeleton s;
    s.path = "walk.bvh";
    s.frameTime = 1.0 / 30;
    s.frames = 1000;
    for (int i = 0; i < 3; ++i) {
        Joint j;
        j.name = "j" + std::to_string(i);
        j.parent = i - 1;
        j.rotation = i < 2;
        j.position = i == 0;
        j.rotateOrder = i;
        j.offset = {1.0 * i, 2, 3};
        s.joints.push_back(j);
    }
    std::string text[2];
    for (int spilled = 0; spilled < 2; ++spilled) {
        const std::string path = (dir / (spilled ? "disk.ma" : "memory.ma")).string();
        std::ostringstream warn;
        auto writer = writeMayaCurves(qmf::requireOutput(path, {}), ConvertOptions{}, spilled ? 1 : std::size_t(1) << 24);
        writer->begin(s, warn);
        Frame f;
        f.position.assign(3, {0, 0, 0});
        f.euler.assign(3, {0, 0, 0});
        for (uint32_t k = 0; k < s.frames; ++k) {
            f.position[0] = {k * 0.5, -1.0 * k, 7.0};
            f.euler[0] = {k * 0.001, 0.2, -0.3};
            f.euler[1] = {0.1, k * -0.002, 0.0};
            writer->frame(f);
        }
        writer->finish(warn);
        std::ifstream in(path);
        text[spilled].assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_EQ(text[0], text[1]);
    EXPECT_NE(text[1].find("createNode animCurveTL -n \"j0_translateY\""), std::string::npos);
    // j0.translateY's keys run to frame 999's -999.
    const std::size_t curve = text[1].find("\"j0_translateY\"");
    ASSERT_NE(curve, std::string::npos);
    const std::size_t keys = text[1].find(".ktv[0:999]\"", curve), end = text[1].find(";\n", keys);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(text[1].substr(end - 5, 5), " -999");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);  // no spool left
    fs::remove_all(dir);
}

}  // namespace
