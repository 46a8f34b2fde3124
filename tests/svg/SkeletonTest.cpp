#include "XmlCheck.h"

#include "svg/Skeleton.h"

#include <cmath>
#include <map>

namespace {

using svg::View;

TEST(SkeletonProjection, MayaCamerasForEitherUpAxis) {
    const svg::Vec3 p{1, 2, 3};
    struct Case {
        View view;
        char up;
        double x, y;
    } cases[] = {
        {View::Front, 'y', 1, 2},  {View::Side, 'y', -3, 2}, {View::Top, 'y', 1, -3},
        {View::Front, 'z', 1, 3},  {View::Side, 'z', 2, 3},  {View::Top, 'z', 1, 2},
    };
    for (const Case& c : cases) {
        svg::Point s = svg::project(p, c.view, c.up);
        EXPECT_DOUBLE_EQ(s.x, c.x) << int(c.view) << c.up;
        EXPECT_DOUBLE_EQ(s.y, c.y) << int(c.view) << c.up;
    }
}

// Where the drawing put each joint's dot, by the name in its tooltip.
std::map<std::string, svg::Point> dots(const std::string& out) {
    std::map<std::string, svg::Point> found;
    auto attr = [&](std::size_t from, const std::string& name) {
        std::size_t at = out.find(" " + name + "=\"", from) + name.size() + 3;
        return std::stod(out.substr(at, out.find('"', at) - at));
    };
    for (std::size_t at = out.find("<circle "); at != std::string::npos; at = out.find("<circle ", at + 1)) {
        std::size_t title = out.find("<title>", at);
        if (title == std::string::npos || title > out.find("</circle>", at)) continue;
        title += 7;
        found[out.substr(title, out.find("</title>", title) - title)] = {attr(at, "cx"), attr(at, "cy")};
    }
    return found;
}

svg::Pose standing() {
    svg::Pose pose;
    pose.names = {"hips", "spine", "head", "handL", "footR"};
    pose.parents = {-1, 0, 1, 1, 0};
    pose.positions = {{0, 100, 0}, {0, 140, 5}, {0, 170, 10}, {40, 130, 20}, {-15, 0, -30}};
    pose.title = "standing";
    return pose;
}

TEST(SkeletonDrawing, JointsLandWhereTheViewPutsThem) {
    svg::DrawOptions o;
    for (View view : {View::Front, View::Side, View::Top}) {
        SCOPED_TRACE(int(view));
        svg::Pose pose = standing();
        svg::Fit fit;
        std::string out = svg::drawSkeleton(pose, view, o, &fit);
        auto at = dots(out);
        ASSERT_EQ(at.size(), pose.names.size()) << out;
        double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
        for (std::size_t i = 0; i < pose.names.size(); ++i) {
            svg::Point want = fit.toPicture(svg::project(pose.positions[i], view, 'y'));
            svg::Point got = at[pose.names[i]];
            EXPECT_NEAR(got.x, want.x, 0.01) << pose.names[i];
            EXPECT_NEAR(got.y, want.y, 0.01) << pose.names[i];
            minX = std::min(minX, got.x), maxX = std::max(maxX, got.x);
            minY = std::min(minY, got.y), maxY = std::max(maxY, got.y);
        }
        // Fitted inside the margins and filling one direction of the picture.
        EXPECT_GE(minX, o.margin);
        EXPECT_LE(maxX, o.width - o.margin);
        EXPECT_GE(minY, o.margin);
        EXPECT_LE(maxY, o.height - o.margin);
        EXPECT_TRUE(maxX - minX > o.width * 0.5 || maxY - minY > o.height * 0.5);
        EXPECT_WELL_FORMED(out);
    }
}

TEST(SkeletonDrawing, ScreenDirectionsMatchTheCameras) {
    svg::Pose pose = standing();
    // Front: the head above the hips (smaller y on screen), the left hand to the right.
    const std::string frontText = svg::drawSkeleton(pose, View::Front);
    auto front = dots(frontText);
    for (const std::string& name : pose.names) EXPECT_NE(frontText.find(">" + name + "</text>"), std::string::npos) << name;
    EXPECT_LT(front["head"].y, front["hips"].y);
    EXPECT_GT(front["handL"].x, front["hips"].x);
    // Side: +Z is to the left, so the foot (z = -30) is right of the head (z = 10).
    auto side = dots(svg::drawSkeleton(pose, View::Side));
    EXPECT_GT(side["footR"].x, side["head"].x);
    // Top: +Z towards the bottom.
    auto top = dots(svg::drawSkeleton(pose, View::Top));
    EXPECT_GT(top["handL"].y, top["footR"].y);
    // The same figure in a Z-up scene (y and z swapped with the sign Maya uses) looks the same from the front.
    svg::Pose zUp = pose;
    zUp.upAxis = 'z';
    for (auto& p : zUp.positions) p = {p.x, -p.z, p.y};
    auto zFront = dots(svg::drawSkeleton(zUp, View::Front));
    for (const auto& [name, p] : front) {
        EXPECT_NEAR(zFront[name].x, p.x, 0.01) << name;
        EXPECT_NEAR(zFront[name].y, p.y, 0.01) << name;
    }
}

TEST(SkeletonDrawing, GroundAndAxesFollowTheView) {
    svg::Pose pose = standing();
    std::string front = svg::drawSkeleton(pose, View::Front);
    EXPECT_EQ(svgtest::count(front, "class=\"ground\" x1"), 1u);
    // Front shows X and Y; the axis the camera looks along is left out.
    EXPECT_EQ(svgtest::count(front, "class=\"ax axX\""), 1u);
    EXPECT_EQ(svgtest::count(front, "class=\"ax axY\""), 1u);
    EXPECT_EQ(svgtest::count(front, "class=\"ax axZ\""), 0u);
    std::string top = svg::drawSkeleton(pose, View::Top);
    EXPECT_EQ(svgtest::count(top, "class=\"ground\" x1"), 0u);
    EXPECT_EQ(svgtest::count(top, "class=\"ax axY\""), 0u);
    EXPECT_GT(svgtest::count(top, "<line"), 10u);  // a grid
    // A figure far above the ground is drawn alone, not shrunk to fit the ground in.
    for (auto& p : pose.positions) p.y += 10000;
    EXPECT_EQ(svgtest::count(svg::drawSkeleton(pose, View::Front), "class=\"ground\" x1"), 0u);
}

TEST(SkeletonDrawing, OddPosesStillMakeAPicture) {
    struct Case {
        const char* what;
        svg::Pose pose;
        std::size_t dots;
    } cases[] = {
        {"no joints", {}, 0},
        {"one joint", {{"root"}, {-1}, {{5, 5, 5}}, 'y', "cm", ""}, 1},
        {"all at one point", {{"a", "b"}, {-1, 0}, {{1, 1, 1}, {1, 1, 1}}, 'y', "cm", ""}, 2},
        {"a flat line", {{"a", "b"}, {-1, 0}, {{0, 0, 0}, {100, 0, 0}}, 'y', "cm", ""}, 2},
        {"unknown position", {{"a", "b", "c"}, {-1, 0, 1}, {{0, 0, 0}, {std::nan(""), 0, 0}, {0, 50, 0}}, 'y', "cm", ""}, 2},
        {"huge coordinates", {{"a", "b"}, {-1, 0}, {{-1e11, 0, 0}, {1e11, 1e11, 0}}, 'y', "cm", ""}, 2},
        {"beyond reach", {{"a", "b", "c"}, {-1, 0, 0}, {{-1e300, 0, 0}, {1.7e308, 0, 0}, {0, 1, 0}}, 'y', "cm", ""}, 1},
        {"hostile names", {{"<b>&amp;\x01", "\xFF\"x"}, {-1, 0}, {{0, 0, 0}, {0, 10, 0}}, 'y', "cm", "t<"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out = svg::drawSkeleton(c.pose, View::Front);
        EXPECT_EQ(svgtest::count(out, "<circle"), c.dots);
        EXPECT_EQ(out.find("nan"), std::string::npos);
        EXPECT_EQ(out.find("inf"), std::string::npos);
        EXPECT_WELL_FORMED(out);
    }
    // The unknown joint's bones are left out: only a -> b -> c is possible, and b is unknown.
    std::string out = svg::drawSkeleton(cases[4].pose, View::Front);  // unknown position
    EXPECT_EQ(svgtest::count(out, "<g class=\"bone\">\n</g>"), 1u) << out;
}

TEST(SkeletonDrawing, ALoneJointSitsInTheMiddleWhereverItIs) {
    for (double at : {0.0, 5.0, -3e4, 1e11}) {
        svg::Pose pose{{"root"}, {-1}, {{at, at, at}}, 'y', "cm", ""};
        auto d = dots(svg::drawSkeleton(pose, View::Front));
        ASSERT_EQ(d.size(), 1u);
        EXPECT_NEAR(d["root"].x, 360, 0.01) << at;  // the middle of a 720-wide picture
        EXPECT_GT(d["root"].y, 100) << at;
    }
}

TEST(SkeletonDrawing, InconsistentPosesAreRefused) {
    svg::Pose missing = standing();
    missing.parents.pop_back();
    EXPECT_THROW(svg::drawSkeleton(missing, View::Front), std::invalid_argument);
    svg::Pose badParent = standing();
    badParent.parents[2] = 5;
    EXPECT_THROW(svg::drawSkeleton(badParent, View::Front), std::invalid_argument);
    badParent.parents[2] = -2;
    EXPECT_THROW(svg::drawSkeleton(badParent, View::Front), std::invalid_argument);
}

TEST(SkeletonDrawing, CrowdedNamesAreNotDrawnOverEachOther) {
    // Fifty finger joints within a centimetre of each other, next to a long arm.
    svg::Pose pose;
    pose.names = {"shoulder", "hand"};
    pose.parents = {-1, 0};
    pose.positions = {{0, 0, 0}, {100, 0, 0}};
    for (int i = 0; i < 50; ++i) {
        pose.names.push_back("finger" + std::to_string(i));
        pose.parents.push_back(1);
        pose.positions.push_back({100 + i * 0.02, i * 0.02, 0});
    }
    std::string out = svg::drawSkeleton(pose, View::Front);
    EXPECT_EQ(svgtest::count(out, "<circle"), 52u);  // every joint keeps its dot and tooltip
    std::size_t labels = svgtest::count(out, "<text x=") + svgtest::count(out, "<text class=\"end\"");
    EXPECT_GE(labels, 2u);
    EXPECT_LE(labels, 6u);
    EXPECT_NE(out.find(">shoulder</text>"), std::string::npos);
}

}  // namespace
