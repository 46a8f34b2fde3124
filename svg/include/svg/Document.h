// A small SVG document writer. Element and attribute names come from the
// code; every value and text is escaped, so names read from a file cannot
// break the markup or make it invalid XML.
//
//   svg::Document doc(400, 300);
//   doc.open("g", {{"class", "bones"}});
//   doc.element("line", {{"x1", svg::num(0)}, ...});
//   doc.close();
//   std::string text = doc.finish();
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace svg {

using Attr = std::pair<std::string_view, std::string>;

// Text or an attribute value as XML: < > & " ' become references; tab, line
// feed and carriage return become character references (kept in attributes);
// other control characters (C0, DEL, C1), which XML cannot carry, and every
// byte of invalid UTF-8 become U+FFFD.
std::string escape(std::string_view text);

// A number for coordinates and sizes: fixed with at most `decimals` places,
// trailing zeros dropped, never "-0"; not-a-number and infinities, which have
// no place in a picture, become 0.
std::string num(double value, int decimals = 2);

// Cuts text to at most maxChars characters (not bytes), ending with "…" when
// cut, without splitting a UTF-8 sequence.
std::string clip(std::string_view text, std::size_t maxChars);

class Document {
public:
    // Writes the XML declaration and the root element with its viewBox.
    Document(double width, double height);

    // A <style> element with CSS written by the code (not escaped beyond '<' and '&').
    void style(std::string_view css);
    void open(std::string_view tag, std::initializer_list<Attr> attrs = {});
    void close();
    void element(std::string_view tag, std::initializer_list<Attr> attrs);
    void element(std::string_view tag, const std::vector<Attr>& attrs);
    // <tag attrs>text</tag>
    void text(std::string_view tag, std::initializer_list<Attr> attrs, std::string_view text);
    // A polyline from x,y pairs in picture units.
    void polyline(const std::vector<std::pair<double, double>>& points, std::initializer_list<Attr> attrs,
                  int decimals = 1);

    // Closes whatever is still open and hands back the document.
    std::string finish();

private:
    void attrs(const Attr* begin, const Attr* end);
    std::string out_;
    std::vector<std::string> open_;
};

}  // namespace svg
