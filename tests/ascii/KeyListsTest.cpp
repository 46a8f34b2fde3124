// Long value lists: a setAttr's run of numbers is kept as text and read
// straight into doubles, and curve keys go to arrays unless their indices
// skip about. Both must read exactly what argument-by-argument reading did.
#include "qmfhost/MaHost.h"
#include "qmfhost/MaScene.h"
#include "qmfhost/MaWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace qmfhost::ma;

namespace {

std::vector<std::string> runTokens(const Chunk& c) {
    std::vector<std::string> out;
    forEachRunToken(c, 0, [&](std::string_view t) { out.emplace_back(t); });
    return out;
}

std::string numbersText(std::size_t n, double scale) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += " " + std::to_string(static_cast<double>(i) * scale);
    return s;
}

}  // namespace

TEST(MaNumberRuns, LongSetAttrListsStayTextAndEveryOtherArgumentStays) {
    struct Case {
        std::string statement;
        std::size_t args;       // kept as arguments, the command included
        std::size_t runCount;   // numbers in the run
        std::string firstRun;   // first and last numbers of the run
        std::string lastRun;
    };
    std::string n31, n32, n40;
    for (int i = 0; i < 31; ++i) n31 += " " + std::to_string(i);
    n32 = n31 + " 31";
    n40 = n32;
    for (int i = 32; i < 40; ++i) n40 += (i % 5 == 0 ? "\n\t" : " ") + std::to_string(i);
    const Case cases[] = {
        // One short of a run: every number an argument.
        {"setAttr \".ktv\"" + n31 + ";", 33, 0, "", ""},
        {"setAttr -s 16 \".ktv[0:15]\"" + n32 + ";", 4, 32, "0", "31"},
        // Newlines inside, and what ends a run: a comment, a quoted string,
        // a form strtod reads that is not plain digits.
        {"setAttr \".a\"" + n40 + " ;", 2, 40, "0", "39"},
        {"setAttr \".a\"" + n32 + " /* c */ 7 8;", 4, 32, "0", "31"},
        {"setAttr \".a\"" + n32 + "\"s\" 5;", 4, 32, "0", "31"},
        {"setAttr \".a\"" + n32 + " 1e+5 -2.5e-3 .5 5. -0 0x10 7;", 4, 37, "0", "-0"},
        {"setAttr \".a\" -1.5e+300" + n32 + " nan 1;", 4, 33, "-1.5e+300", "31"},
        // Only setAttr has runs.
        {"createNode joint" + n40 + ";", 42, 0, "", ""},
        // The flags after a run are arguments again.
        {"setAttr \".a\"" + n32 + " -l on;", 4, 32, "0", "31"},
    };
    for (const auto& c : cases) {
        const std::string text = "//Maya\n" + c.statement + "\nselect -ne :time1;\n";
        const std::vector<Chunk> chunks = parseChunks(text);
        std::string back;
        for (const auto& ch : chunks) back += ch.text;
        EXPECT_EQ(back, text);
        std::vector<const Chunk*> st;
        for (const auto& ch : chunks)
            if (ch.kind == Chunk::Kind::Statement) st.push_back(&ch);
        ASSERT_EQ(st.size(), 2u) << c.statement;
        const Chunk& s = *st[0];
        EXPECT_EQ(s.args.size(), c.args) << c.statement;
        EXPECT_EQ(s.runCount, c.runCount) << c.statement;
        EXPECT_EQ(s.argCount(), c.args + c.runCount) << c.statement;
        // The next statement's line counts the run's newlines.
        EXPECT_EQ(st[1]->line, 3 + static_cast<int>(std::count(c.statement.begin(), c.statement.end(), '\n')));
        if (c.runCount == 0) continue;
        const auto tokens = runTokens(s);
        ASSERT_EQ(tokens.size(), c.runCount) << c.statement;
        EXPECT_EQ(tokens.front(), c.firstRun) << c.statement;
        EXPECT_EQ(tokens.back(), c.lastRun) << c.statement;
    }
}

TEST(MaNumberRuns, ArgumentLimitCountsTheRun) {
    Limits small;
    small.maxArgsPerStatement = 40;
    const std::string under = "//Maya\nsetAttr \".a\"" + numbersText(38, 1) + ";\n";
    const std::string over = "//Maya\nsetAttr \".a\"" + numbersText(39, 1) + ";\n";
    EXPECT_NO_THROW(parseChunks(under, small));
    try {
        parseChunks(over, small);
        FAIL() << "41 arguments accepted";
    } catch (const ParseError& e) {
        EXPECT_EQ(std::string(e.what()), "line 2: statement has more than 40 arguments");
    }
}

TEST(MaNumberRuns, RunNumbersReadAsStrtodReadsThem) {
    for (const char* t : {"0", "-0", "1", "0.1", "4.0345661506751236e-016", "1.7976931348623157e308", "4.9e-324",
                          "1e-400", "123456789012345678901234567890", "5.", ".5", "-2.5E+3"}) {
        double v = -1;
        ASSERT_TRUE(runNumber(t, v)) << t;
        const double expected = std::strtod(t, nullptr);
        EXPECT_EQ(std::memcmp(&v, &expected, sizeof v), 0) << t;
    }
    double v = 0;
    EXPECT_FALSE(runNumber("1e999", v));
    EXPECT_FALSE(runNumber("-1e400", v));
}

// A run's numbers read in one pass (whole numbers without the general
// conversion, digits eight at a time) are the numbers strtod reads.
TEST(MaNumberRuns, RunsReadWhole) {
    const std::vector<std::string> tokens = {
        "0", "-0", "7", "-7", "0012", "123456789012345", "-999999999999999", "1234567890123456",
        "12345678901234567890", "0.1", "-2.5E+3", "5.", ".5", "1e5", "4.0345661506751236e-016",
        "1.7976931348623157e308", "4.9e-324", "1e-400", "98765432.125", "3.14159265358979311599796346854"};
    std::string text = "//Maya\nsetAttr \".a\"";
    std::vector<std::string> all;
    for (int round = 0; round < 3; ++round)
        for (const auto& t : tokens) {
            all.push_back(t);
            text += (all.size() % 7 == 0 ? "\n\t" : " ") + t;
        }
    text += ";\n";
    const std::vector<Chunk> chunks = parseChunks(text);
    const Chunk* run = nullptr;
    for (const auto& c : chunks)
        if (c.runCount) run = &c;
    ASSERT_NE(run, nullptr);
    ASSERT_EQ(run->runCount, all.size());
    for (std::size_t from : {std::size_t(0), std::size_t(5), all.size()}) {
        std::vector<double> values{42};   // appended to, not replaced
        std::string bad;
        ASSERT_TRUE(appendRunNumbers(*run, from, values, bad)) << bad;
        ASSERT_EQ(values.size(), 1 + all.size() - from);
        for (std::size_t i = from; i < all.size(); ++i) {
            const double expected = std::strtod(all[i].c_str(), nullptr);
            EXPECT_EQ(std::memcmp(&values[1 + i - from], &expected, sizeof expected), 0) << all[i];
        }
    }
    // One that does not fit a double is named.
    std::string over = "//Maya\nsetAttr \".a\"" + numbersText(40, 1) + " 1e999 5;\n";
    for (const auto& c : parseChunks(over))
        if (c.runCount) {
            std::vector<double> values;
            std::string bad;
            EXPECT_FALSE(appendRunNumbers(c, 0, values, bad));
            EXPECT_EQ(bad, "1e999");
        }
    // Bytes past 0x7f next to digits end the token rather than pass as
    // digits ("\xb9" is '9' with the top bit set): no run is made of them.
    const std::string high = "//Maya\nsetAttr \".a\"" + numbersText(40, 1) + " 12345678\xb9 5;\n";
    for (const auto& c : parseChunks(high))
        if (c.runCount) {
            EXPECT_EQ(c.runCount, 40u);
            EXPECT_EQ(runTokens(c).back(), "39.000000");
        }
}

namespace {

// One setAttr on a curve: attribute, first index (-1: no range) and values.
struct Write {
    std::string attr;
    long first;
    std::vector<double> values;
};

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// As one statement per write (long lists, so runs), or one statement per
// key index (short lists, so arguments).
std::string curveScene(const std::vector<Write>& writes, bool perKey) {
    std::string s = "//Maya ASCII\ncurrentUnit -t ntsc;\ncreateNode animCurveTA -n \"c\";\n\tsetAttr \".tan\" 2;\n";
    for (const Write& w : writes) {
        const std::size_t per = w.attr == "ktv" ? 2 : 1;
        const std::size_t count = w.values.size() / per;
        if (!perKey) {
            s += "\tsetAttr \"." + w.attr;
            if (w.first >= 0) s += "[" + std::to_string(w.first) + ":" + std::to_string(w.first + static_cast<long>(count) - 1) + "]";
            s += "\"";
            for (double v : w.values) s += " " + num(v);
            s += ";\n";
            continue;
        }
        const long first = w.first < 0 ? 0 : w.first;
        for (std::size_t k = 0; k < count; ++k) {
            s += "\tsetAttr \"." + w.attr + "[" + std::to_string(first + static_cast<long>(k)) + "]\"";
            for (std::size_t j = 0; j < per; ++j) s += " " + num(w.values[k * per + j]);
            s += ";\n";
        }
    }
    return s;
}

// What the keys must be, worked out independently: every attribute by key
// index, later writes replacing earlier ones, keys in index order, then
// stably by time.
std::vector<Key> expectedKeys(const std::vector<Write>& writes) {
    const double spf = 1.0 / 30, deg = 3.14159265358979323846 / 180.0;
    std::map<long, std::pair<double, double>> ktv;
    std::map<std::string, std::map<long, double>> other;
    for (const Write& w : writes) {
        const long first = w.first < 0 ? 0 : w.first;
        if (w.attr == "ktv") {
            for (std::size_t k = 0; k * 2 < w.values.size(); ++k)
                ktv[first + static_cast<long>(k)] = {w.values[2 * k] * spf, w.values[2 * k + 1] * deg};
        } else {
            for (std::size_t k = 0; k < w.values.size(); ++k) other[w.attr][first + static_cast<long>(k)] = w.values[k];
        }
    }
    auto get = [&](const char* attr, long idx, double otherwise) {
        auto a = other.find(attr);
        if (a == other.end()) return otherwise;
        auto v = a->second.find(idx);
        return v == a->second.end() ? otherwise : v->second;
    };
    std::vector<Key> keys;
    for (const auto& [idx, tv] : ktv) {
        Key k;
        k.time = tv.first;
        k.value = tv.second;
        k.inType = tangentFromFileCode(static_cast<int>(get("kit", idx, 2)));
        k.outType = tangentFromFileCode(static_cast<int>(get("kot", idx, 2)));
        k.inX = get("kix", idx, 0);
        k.inY = get("kiy", idx, 0);
        k.outX = get("kox", idx, 0);
        k.outY = get("koy", idx, 0);
        keys.push_back(k);
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.time < b.time; });
    return keys;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<double> ktvValues(long firstFrame, std::size_t count, double value0, double step = 1) {
    std::vector<double> v;
    for (std::size_t k = 0; k < count; ++k) {
        v.push_back(static_cast<double>(firstFrame) + static_cast<double>(k) * step);
        v.push_back(value0 + 0.125 * static_cast<double>(k));
    }
    return v;
}

std::vector<double> repeated(std::size_t count, double v) { return std::vector<double>(count, v); }

}  // namespace

TEST(MaCurveKeys, LongListsReadAsKeyByKeyStatementsAndAsTheIndicesSay) {
    struct Case {
        const char* name;
        std::vector<Write> writes;
    };
    std::vector<double> mixedTypes;
    for (int k = 0; k < 40; ++k) mixedTypes.push_back(k % 3 == 0 ? 1 : k % 3 == 1 ? 2 : 18);
    std::vector<double> vectors;
    for (int k = 0; k < 40; ++k) vectors.push_back(k == 7 ? -0.0 : k % 4 == 0 ? 0.5 * k : 0.0);
    std::vector<double> backwards;  // times going down, two keys at each time
    for (int k = 0; k < 40; ++k) {
        backwards.push_back(100 - k / 2);
        backwards.push_back(k);
    }
    const Case cases[] = {
        {"one range", {{"ktv", 0, ktvValues(1, 40, 0)}}},
        {"no range", {{"ktv", -1, ktvValues(1, 40, 3)}}},
        {"ranges in order", {{"ktv", 0, ktvValues(1, 20, 0)}, {"ktv", 20, ktvValues(21, 20, 9)}}},
        {"ranges out of order", {{"ktv", 20, ktvValues(21, 20, 9)}, {"ktv", 0, ktvValues(1, 20, 0)}}},
        {"overlap replaces", {{"ktv", 0, ktvValues(1, 40, 0)}, {"ktv", 10, ktvValues(11, 40, -5)}}},
        {"gap", {{"ktv", 0, ktvValues(1, 20, 0)}, {"ktv", 100, ktvValues(200, 20, 1)}}},
        {"types before keys, some keys only",
         {{"kit", 5, mixedTypes}, {"kot", 0, repeated(40, 18)}, {"ktv", 0, ktvValues(1, 50, 0)}}},
        {"types past the keys", {{"ktv", 0, ktvValues(1, 40, 0)}, {"kot", 30, mixedTypes}}},
        {"tangent vectors on some keys, -0 kept",
         {{"ktv", 0, ktvValues(1, 40, 0)}, {"kix", 0, vectors}, {"koy", 3, vectors}, {"kit", 0, mixedTypes}}},
        {"times out of order and repeated", {{"ktv", 0, backwards}}},
        {"sparse keys with vectors", {{"ktv", 50, ktvValues(5, 20, 0)}, {"ktv", 0, ktvValues(40, 20, 0)}, {"kox", 45, vectors}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Key> expected = expectedKeys(c.writes);
        for (bool perKey : {false, true}) {
            const std::string text = curveScene(c.writes, perKey);
            const Scene s = readText(text);
            const Curve& cv = *s.nodes[static_cast<std::size_t>(s.find("c"))].curve;
            ASSERT_EQ(cv.keys.size(), expected.size()) << (perKey ? "key by key" : "long lists");
            for (std::size_t i = 0; i < expected.size(); ++i) {
                const Key k = cv.keys[i], e = expected[i];
                EXPECT_TRUE(sameBits(k.time, e.time) && sameBits(k.value, e.value) && k.inType == e.inType &&
                            k.outType == e.outType && sameBits(k.inX, e.inX) && sameBits(k.inY, e.inY) &&
                            sameBits(k.outX, e.outX) && sameBits(k.outY, e.outY))
                    << (perKey ? "key by key" : "long lists") << ", key " << i;
            }
            EXPECT_EQ(writeScene(s, Edits{}), text);
        }
    }
}

TEST(MaCurveKeys, FaultsInLongListsSayWhatShortOnesSay) {
    // Each statement once with a long list and once cut short: the fault is
    // the same, on the same line.
    struct Case {
        std::string head, tail;
        std::string words;
    };
    const Case cases[] = {
        {"setAttr \".ktv[0:99]\"", "", ".ktv lists"},                      // count mismatch
        {"setAttr \".ktv\"", " 1e999", "expected a number, found '1e999'"},  // in the run, overflows
        {"setAttr \".kit\"", " 2.5", "expected an integer code"},
        {"setAttr \".ktv\"", " abc", "expected a number, found 'abc'"},  // after the run
        {"setAttr \".ktv\"", " 0x10", ".ktv lists"},  // strtod's hex, read as an argument either way
        {"setAttr -l", "", "attribute name without '.'"},                    // the run's first number is -l's value
        {"setAttr", "", "attribute name without '.'"},                       // ... or the attribute
    };
    for (const auto& c : cases) {
        for (std::size_t n : {std::size_t(4), std::size_t(40)}) {
            std::string text = "//Maya\ncreateNode animCurveTL -n \"c\";\n\t" + c.head;
            for (std::size_t i = 0; i < n; ++i) text += (i == n / 2 ? "\n " : " ") + std::to_string(i + 1);
            text += c.tail + ";\n";
            try {
                readText(text);
                ADD_FAILURE() << "accepted: " << text;
            } catch (const ParseError& e) {
                EXPECT_EQ(e.line(), 3) << text;
                EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
            }
        }
    }
}

TEST(MaCurveKeys, FlagsAroundALongListStillApply) {
    std::string list;
    for (int i = 0; i < 20; ++i) list += " " + std::to_string(i) + " " + std::to_string(i * 2);
    const Scene s = readText("//Maya\ncreateNode animCurveTU -n \"c\";\n\tsetAttr -s 20 -l on \".ktv[0:19]\"" + list +
                             " -k on;\n\tsetAttr -l 1 \".ktv[20:39]\"" + list + ";\n");
    const Node& n = s.nodes[static_cast<std::size_t>(s.find("c"))];
    ASSERT_EQ(n.curve->keys.size(), 40u);
    EXPECT_EQ(n.curve->keys[39].value, 38.0);
    EXPECT_EQ(n.locked.count("ktv"), 1u);
}

TEST(MaCurveKeys, HandedOverKeysLeaveTheSceneAndMatchKeptOnes) {
    std::string list;
    for (int i = 0; i < 50; ++i) list += " " + std::to_string(i) + " " + std::to_string(i * 0.25);
    const std::string text = "//Maya\ncurrentUnit -t film;\ncreateNode animCurveTU -n \"c\";\n\tsetAttr \".ktv[0:49]\"" +
                             list + ";\n\tsetAttr \".kot[10]\" 1;\n\tsetAttr \".kox[10]\" 0.5;\n";
    Scene kept = readText(text);
    Binding b = loadIntoHost(kept);
    qmfhost::CurveData fromKept;
    ASSERT_TRUE(qmfhost::getCurve(b.nodes[static_cast<std::size_t>(kept.find("c"))], fromKept));
    EXPECT_EQ(kept.nodes[static_cast<std::size_t>(kept.find("c"))].curve->keys.size(), 50u);

    Scene handed = readText(text);
    Binding h = loadIntoHost(handed, SceneKeys::HandedOver);
    qmfhost::CurveData fromHanded;
    ASSERT_TRUE(qmfhost::getCurve(h.nodes[static_cast<std::size_t>(handed.find("c"))], fromHanded));
    EXPECT_TRUE(handed.nodes[static_cast<std::size_t>(handed.find("c"))].curve->keys.empty());
    ASSERT_EQ(fromHanded.keys.size(), 50u);
    ASSERT_EQ(fromKept.keys.size(), 50u);
    for (std::size_t i = 0; i < 50; ++i) {
        const auto &a = fromKept.keys[i], &c = fromHanded.keys[i];
        EXPECT_TRUE(a.time == c.time && a.value == c.value && a.inTangent == c.inTangent &&
                    a.outTangent == c.outTangent && a.outX == c.outX)
            << i;
    }
    EXPECT_EQ(fromHanded.keys[10].outX, 0.5);
    // The scene still writes back as read.
    EXPECT_EQ(writeScene(handed, Edits{}), text);
}

TEST(MaCurveKeys, KeyListKeepsEachKeysOwnTypesAndVectors) {
    KeyList keys;
    const std::vector<Key> in = {
        {0.0, 1.0, 2, 2, 0, 0, 0, 0},   {1.0, 2.0, 2, 2, 0, 0, 0, 0},  {2.0, 3.0, 1, 2, -0.0, 0, 0, 0},
        {3.0, 4.0, 2, 18, 0, 0, 0.5, 1}, {0.5, 5.0, 2, 2, 0, 0, 0, 0},  {0.5, 6.0, 3, 3, 0, 0, 0, 0},
    };
    for (const Key& k : in) keys.push_back(k);
    ASSERT_EQ(keys.size(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const Key k = keys[i];
        EXPECT_TRUE(sameBits(k.time, in[i].time) && k.value == in[i].value && k.inType == in[i].inType &&
                    k.outType == in[i].outType && sameBits(k.inX, in[i].inX) && k.outX == in[i].outX &&
                    k.outY == in[i].outY)
            << i;
    }
    keys.sortByTime();
    const double values[] = {1.0, 5.0, 6.0, 2.0, 3.0, 4.0};  // the two at 0.5 keep their order
    const int outTypes[] = {2, 2, 3, 2, 2, 18};
    for (std::size_t i = 0; i < in.size(); ++i) {
        EXPECT_EQ(keys[i].value, values[i]) << i;
        EXPECT_EQ(keys[i].outType, outTypes[i]) << i;
    }
    EXPECT_TRUE(std::signbit(keys[4].inX));
    EXPECT_EQ(keys[5].outY, 1.0);
    keys.release();
    EXPECT_TRUE(keys.empty());
}
