#include "XmlCheck.h"

#include "svg/Document.h"

#include <cmath>
#include <limits>

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(SvgEscape, MarkupControlsAndBrokenUtf8) {
    struct Case {
        const char* what;
        std::string in, out;
    } cases[] = {
        {"markup", "a<b>&\"c'", "a&lt;b&gt;&amp;&quot;c&apos;"},
        {"an entity stays text", "&amp;", "&amp;amp;"},
        {"line breaks survive attributes", "a\tb\nc\rd", "a&#9;b&#10;c&#13;d"},
        {"C0 control", std::string("a\x01" "b", 3), "a" + kFffd + "b"},
        {"NUL", std::string("a\0b", 3), "a" + kFffd + "b"},
        {"escape sequence", "\x1b[31mred", kFffd + "[31mred"},
        {"DEL", "a\x7f", "a" + kFffd},
        {"C1 control U+0085", "a\xC2\x85", "a" + kFffd},
        {"U+FFFF is not XML", "\xEF\xBF\xBF", kFffd},
        {"lone continuation byte", "a\x80z", "a" + kFffd + "z"},
        {"overlong slash", "\xC0\xAF", kFffd + kFffd},
        {"surrogate", "\xED\xA0\x80", kFffd + kFffd + kFffd},
        {"cut short at the end", "ok\xE2\x82", "ok" + kFffd + kFffd},
        {"past U+10FFFF", "\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},
        {"valid UTF-8 kept", "H\xC3\xBC" "fte \xE6\x97\xA5 \xF0\x9F\x98\x80", "H\xC3\xBC" "fte \xE6\x97\xA5 \xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) EXPECT_EQ(svg::escape(c.in), c.out) << c.what;
}

TEST(SvgNumbers, CompactAndAlwaysANumber) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double v;
        int decimals;
        const char* out;
    } cases[] = {
        {1, 2, "1"},         {100, 2, "100"},     {120.5, 2, "120.5"},       {-3.25, 2, "-3.25"},
        {0.004, 2, "0"},     {-0.004, 2, "0"},    {-0.0, 2, "0"},            {2.96, 1, "3"},
        {12.34567, 3, "12.346"}, {7.5, 0, "8"},   {std::nan(""), 2, "0"},    {inf, 2, "0"},
        {-inf, 1, "0"},      {1e300, 2, "1000000000"}, {-1e300, 2, "-1000000000"},
    };
    for (const Case& c : cases) EXPECT_EQ(svg::num(c.v, c.decimals), c.out) << c.v << " with " << c.decimals;
}

TEST(SvgClip, CutsCharactersNotBytes) {
    struct Case {
        std::string in;
        std::size_t max;
        std::string out;
    } cases[] = {
        {"hello", 10, "hello"},
        {"hello", 5, "hello"},
        {"hello", 4, "hel\xE2\x80\xA6"},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", 2, "\xE6\x97\xA5\xE2\x80\xA6"},
        {"\xE6\x97\xA5\xE6\x9C\xAC", 2, "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"abc", 1, "\xE2\x80\xA6"},
        {"abc", 0, ""},
        {"", 3, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(svg::clip(c.in, c.max), c.out) << c.in << " to " << c.max;
}

TEST(SvgDocument, HostileTextParsesBackAsWritten) {
    svg::Document doc(100, 50);
    doc.style("text{fill:#000}");
    const std::string nasty = std::string("</text><script>&x;\"'\x01\x1b]0;t\x07 \xFF\n");
    doc.open("g", {{"class", nasty}, {"id", "a\"b"}});
    doc.text("text", {{"x", svg::num(1)}, {"data-name", nasty}}, nasty);
    doc.element("circle", {{"cx", "1"}, {"cy", "2"}, {"r", "3"}});
    doc.polyline({{0, 0}, {1.26, -2.5}, {std::nan(""), 3}}, {{"class", "line"}});
    // Left open on purpose: finish closes it.
    std::string out = doc.finish();

    EXPECT_EQ(svgtest::count(out, "<script"), 0u);
    EXPECT_NE(out.find("points=\"0,0 1.3,-2.5 0,3\""), std::string::npos) << out;
    EXPECT_NE(out.find("viewBox=\"0 0 100 50\""), std::string::npos);
    if (!svgtest::havePython()) GTEST_SKIP() << "python3 is missing: cannot parse the SVG";
    svgtest::Parsed p = svgtest::parseXml(out);
    ASSERT_TRUE(p.ok) << p.error << "\n" << out;
    // Controls and the broken byte come back as U+FFFD; markup as text.
    EXPECT_EQ(p.texts, "text{fill:#000}\n</text><script>&x;\"'" + kFffd + kFffd + "]0;t" + kFffd + " " + kFffd +
                           "\\n\n");
}

TEST(SvgDocument, CloseNeverClosesTheRoot) {
    svg::Document doc(10, 10);
    doc.close();
    doc.close();
    doc.element("rect", {{"width", "1"}, {"height", "1"}});
    std::string out = doc.finish();
    EXPECT_EQ(svgtest::count(out, "</svg>"), 1u);
    EXPECT_LT(out.find("<rect"), out.find("</svg>"));
    EXPECT_WELL_FORMED(out);
}

}  // namespace
