// The qmf command run as a user runs it: a subprocess in a fresh folder per
// test, its exit status, its output and the files it leaves.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace clitest {

namespace fs = std::filesystem;
using nlohmann::json;

struct Result {
    int status = -1;
    std::string out, err;
    std::vector<std::string> errLines() const {
        std::vector<std::string> lines;
        std::istringstream in(err);
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        return lines;
    }
};

inline std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void spit(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qmf_cli_" + std::to_string(::getpid()) + "_" +
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

    json infoJson(const std::string& file) {
        Result r = run({"info", file, "--json"});
        EXPECT_EQ(r.status, 0) << r.err;
        return json::parse(r.out);
    }

    // A clip built from an exported skeleton: root translation and a small
    // rotation on every joint, over a few frames.
    std::string clipFor(const std::string& exported, int frames) {
        json j = infoJson(exported);
        j["frameRate"] = 30;
        j["frameCount"] = frames;
        json& fig = j["figures"][0];
        for (const char* ch : {"1", "2", "3"}) {
            fig["channels"][ch] = json::array();
            for (int f = 0; f < frames; ++f) fig["channels"][ch].push_back({f, 0.01 * f});
        }
        fig["orientations"] = json::array();
        std::size_t joints = j["skeletons"][0]["joints"].size();
        for (std::size_t k = 0; k < joints; ++k) {
            json keys = json::array();
            for (int f = 0; f < frames; ++f) {
                double a = 0.05 * f;
                keys.push_back({f, -std::cos(a / 2), std::sin(a / 2), 0.0, 0.0});
            }
            fig["orientations"].push_back({{"joint", k}, {"keys", keys}});
        }
        std::string jsonPath = path("clip.json"), clip = path("clip.qmf");
        spit(jsonPath, j.dump());
        Result r = run({"pack", jsonPath, clip});
        EXPECT_EQ(r.status, 0) << r.err;
        return clip;
    }

    fs::path dir_;
};

inline const std::string kRig = std::string(QMF_EXAMPLES_DIR) + "/rig.ma";
inline const std::string kWalk = std::string(QMF_EXAMPLES_DIR) + "/walk.json";

}  // namespace clitest
