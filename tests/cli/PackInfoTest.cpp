// `qmf pack` and `qmf info` on hostile documents and clips: every refusal is
// one terminal-safe line naming the file and the JSON path, nothing is
// silently changed, and text output stays linear in the clip.
#include "clips/Printable.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class PackInfo : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qmf_packinfo_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    Result run(const std::vector<std::string>& args) {
        std::string cmd = shellQuote(QMF_EXE);
        for (const auto& a : args) cmd += " " + shellQuote(a);
        fs::path out = dir_ / ".stdout", err = dir_ / ".stderr";
        cmd += " >" + shellQuote(out.string()) + " 2>" + shellQuote(err.string()) + " </dev/null";
        int raw = std::system(cmd.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(out);
        r.err = slurp(err);
        return r;
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

const std::string kWalk = std::string(QMF_EXAMPLES_DIR) + "/walk.json";

json walk() {
    std::ifstream in(kWalk);
    return json::parse(in);
}

// A single skeleton and figure holding `joints`, with no keys.
json clipWith(json joints, int frames = 4) {
    return {{"frameRate", 30},
            {"frameCount", frames},
            {"skeletons", {{{"name", "s"}, {"completed", false}, {"joints", std::move(joints)}}}},
            {"figures", {{{"skeleton", 0}, {"channels", json::object()}, {"orientations", json::array()}}}}};
}

json joint(const std::string& name, int parent) {
    return {{"name", name}, {"parent", parent}, {"root", parent < 0}, {"offset", {1, 0, 0}},
            {"orientation", {1, 0, 0, 0}}, {"body", nullptr}};
}

bool hasControlBytes(const std::string& s) {
    for (unsigned char c : s)
        if ((c < 0x20 && c != '\n') || c == 0x7f) return true;
    return false;
}

}  // namespace

TEST_F(PackInfo, RefusesWhatTheLibraryWouldChangeNamingTheFileAndPath) {
    struct Case {
        const char* label;
        std::function<std::string()> document;
        const char* words;  // expected in the line
    };
    auto edited = [](std::function<void(json&)> edit) {
        return [edit] {
            json j = walk();
            edit(j);
            return j.dump();
        };
    };
    const std::vector<Case> cases = {
        {"NUL in a joint name", edited([](json& j) { j["skeletons"][0]["joints"][1]["name"] = std::string("a\0b", 3); }),
         "skeletons[0].joints[1].name holds a NUL"},
        {"NUL in the skeleton name", edited([](json& j) { j["skeletons"][0]["name"] = std::string("r\0", 2); }),
         "skeletons[0].name holds a NUL"},
        {"self-parent", edited([](json& j) { j["skeletons"][0]["joints"][2]["parent"] = 2; }),
         "skeletons[0].joints[2].parent is the joint itself"},
        {"parent cycle", edited([](json& j) {
             j["skeletons"][0]["joints"][1]["parent"] = 3;
             j["skeletons"][0]["joints"][3]["parent"] = 2;
         }),
         "skeletons[0].joints[1].parent makes a cycle"},
        {"repeated channel key", edited([](json& j) { j["figures"][0]["channels"]["2"].push_back({3, 1.5}); }),
         "figures[0].channels.2[16] repeats the key at frame 3"},
        {"repeated orientation key across entries", edited([](json& j) {
             json& o = j["figures"][0]["orientations"];
             o.push_back({{"joint", o[0]["joint"]}, {"keys", {{7, 1, 0, 0, 0}}}});
         }),
         "].keys[0] repeats the key at frame 7"},
        {"frame count too large for a double", [] { return std::string(R"({"frameRate": 30, "frameCount": 1e400})"); },
         "frameCount is out of range: 1e400"},
        {"float out of range in a key", edited([](json& j) { j["figures"][0]["channels"]["1"][2][1] = 1e300; }),
         "figures[0].channels.1[2][1] is out of range for a float"},
        {"number too large inside an array",
         [] { return std::string(R"({"frameRate": 30, "extra": [1, 2, -1e999]})"); },
         "extra[2] is out of range: -1e999"},
        {"repeated member", [] { return std::string(R"({"frameRate": 30, "frameRate": 24})"); },
         "the document has \"frameRate\" twice"},
        {"skeleton no figure uses", edited([](json& j) { j["skeletons"].push_back(j["skeletons"][0]); }),
         "skeletons[1] is used by no figure"},
        {"wrong item count", edited([](json& j) { j["skeletons"][0]["joints"][3]["offset"].push_back(0); }),
         "skeletons[0].joints[3].offset must have 3 items"},
        {"unknown primitive", edited([](json& j) { j["skeletons"][0]["joints"][0]["body"]["primitives"][0]["kind"] = "cube"; }),
         "skeletons[0].joints[0].body.primitives[0].kind must be \"sphere\" or \"bone\""},
        {"deep nesting", [] { return "{\"x\": " + std::string(200000, '['); }, "is nested more than 16 levels deep"},
        {"a bare array", [] { return std::string(1000, '['); }, "the document must be an object"},
        {"sparse keys over the most frames", [] {
             json joints = json::array(), orient = json::array();
             for (int i = 0; i < 40; ++i) {
                 joints.push_back(joint("j" + std::to_string(i), -1));
                 orient.push_back({{"joint", i}, {"keys", {{16777215, 1, 0, 0, 0}}}});
             }
             json j = clipWith(joints, 16777216);
             j["figures"][0]["orientations"] = orient;
             return j.dump();
         },
         "would need"},
        {"syntax error", [] { return std::string("{\"frameRate\": 30, \"skeletons\": [{\"name\": \"a\"\x1b[2J}"); },
         "bad JSON at skeletons[0].name"},
        {"bytes after a NUL", [] { return walk().dump() + std::string("\0{\"frameRate\": 1}", 17); },
         "bad JSON: a NUL byte at byte "},
        {"completed without the name given then", edited([](json& j) {
             j["skeletons"][0]["completed"] = true;
             j["skeletons"][0].erase("completedName");
         }),
         "skeletons[0] is completed but has no \"completedName\""},
    };
    const std::string out = path("out.qmf");
    for (const auto& c : cases) {
        spit(out, "existing");
        const std::string in = path("case.json");
        spit(in, c.document());
        Result r = run({"pack", in, out});
        EXPECT_EQ(r.status, 1) << c.label;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.label << ": not one line: " << r.err;
        EXPECT_EQ(r.err.rfind("qmf: " + in + ": ", 0), 0u) << c.label << ": " << r.err;
        EXPECT_NE(r.err.find(c.words), std::string::npos) << c.label << ": " << r.err;
        EXPECT_FALSE(hasControlBytes(r.err)) << c.label;
        EXPECT_EQ(slurp(out), "existing") << c.label;
    }
}

TEST_F(PackInfo, RepeatedJointNamesAndForwardParentsPack) {
    // Repeated names are allowed by the library (two "bone" joints in
    // different branches), and a parent may come after its child.
    json j = clipWith({joint("bone", 2), joint("bone", 2), joint("root", -1)});
    spit(path("a.json"), j.dump());
    Result r = run({"pack", path("a.json"), path("a.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    Result info = run({"info", path("a.qmf"), "--json"});
    ASSERT_EQ(info.status, 0) << info.err;
    json back = json::parse(info.out);
    const json& joints = back["skeletons"][0]["joints"];
    ASSERT_EQ(joints.size(), 3u);
    EXPECT_EQ(joints[0]["name"], "bone");
    EXPECT_EQ(joints[1]["name"], "bone");
    EXPECT_EQ(joints[0]["parent"], 2);
    EXPECT_EQ(joints[1]["parent"], 2);
    EXPECT_EQ(joints[2]["parent"], -1);
}

TEST_F(PackInfo, InfoIndentationStopsGrowingOnADeepChain) {
    const int n = 300;
    json joints = json::array();
    for (int i = 0; i < n; ++i) joints.push_back(joint("j" + std::to_string(i), i - 1));
    spit(path("chain.json"), clipWith(joints).dump());
    ASSERT_EQ(run({"pack", path("chain.json"), path("chain.qmf")}).status, 0);
    Result r = run({"info", path("chain.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::size_t jointLines = 0, widest = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" j") == std::string::npos || line.find("offset") == std::string::npos) continue;
        ++jointLines;
        widest = std::max(widest, line.find_first_not_of(' '));
    }
    EXPECT_EQ(jointLines, static_cast<std::size_t>(n));
    EXPECT_LE(widest, 2u + 2 * 32 + 2);
    EXPECT_NE(r.out.find("(depth 299) 299 j299 "), std::string::npos);
    EXPECT_NE(r.out.find("\n" + std::string(2 + 2 * 5 + 2, ' ') + "5 j5 "), std::string::npos) << "shallow joints keep their indentation";
}

TEST_F(PackInfo, NamesFromAFileCannotDriveTheTerminal) {
    json j = walk();
    j["skeletons"][0]["name"] = "\x1b]0;owned\x07";
    j["skeletons"][0]["joints"][1]["name"] = "\x1b[31mred\xc2\x9b" "2J";
    spit(path("a.json"), j.dump());
    ASSERT_EQ(run({"pack", path("a.json"), path("a.qmf")}).status, 0);
    Result r = run({"info", path("a.qmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(hasControlBytes(r.out));
    EXPECT_EQ(r.out.find("\xc2\x9b"), std::string::npos);
    EXPECT_NE(r.out.find("\\x1b[31mred\\u009b2J"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"\\x1b]0;owned\\x07\""), std::string::npos) << r.out;
    // --json keeps JSON's own escaping and gives the names back exactly.
    Result js = run({"info", path("a.qmf"), "--json"});
    ASSERT_EQ(js.status, 0);
    EXPECT_EQ(json::parse(js.out)["skeletons"][0]["joints"][1]["name"], j["skeletons"][0]["joints"][1]["name"]);

    // A file name with a newline and an escape still gives one safe line.
    const std::string odd = path("bad\n\x1b[2Jname.qmf");
    spit(odd, "not a clip");
    Result e = run({"info", odd});
    EXPECT_EQ(e.status, 1);
    EXPECT_EQ(e.err.find('\n'), e.err.size() - 1) << e.err;
    EXPECT_FALSE(hasControlBytes(e.err));
    EXPECT_NE(e.err.find("bad\\n\\x1b[2Jname.qmf"), std::string::npos) << e.err;
}

TEST(Printable, EscapesControlsAndBadUtf8AndKeepsText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain text / 123", "plain text / 123"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"\x1b[0m\x7f", "\\x1b[0m\\x7f"},
        {"\xc2\x9b\xc2\x80\xc2\xa0", "\\u009b\\u0080\xc2\xa0"},  // C1 controls; no-break space is text
        {"\xff\xfe", "\\xff\\xfe"},
        {"\xc0\xaf", "\\xc0\\xaf"},                  // overlong '/'
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},          // surrogate
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // above U+10FFFF
        {"\xe2\x82", "\\xe2\\x82"},                  // truncated
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(qmf::printable(in), want) << want;
}
