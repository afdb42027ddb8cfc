#pragma once

#include <functional>
#include <string>
#include <string_view>

// Turning site HTML into well-formed XHTML for EPUB pages, through libxml2's
// HTML parser: stray "&" and "<", unclosed and misnested tags and unknown
// entities all come out as a tree, and the tree is written back as a sequence
// of XHTML paragraphs and headings that only use elements every EPUB reader
// and the XHTML 1.1 schema accept (p, h1 to h6, br, b, strong, i, em, sub,
// sup, small, big, img). Other inline elements (links among them) are
// unwrapped, other block elements become paragraph breaks, and script, style,
// forms, frames and objects go with their content. Texts are UTF-8.

// Maps the src of a picture to the name it has in the package; an empty
// result leaves a trace in its place: "[图片]", or "[图片：" + its alt text + "]".
using PictureMapper = std::function<std::string(std::string_view src)>;

std::string HtmlToXhtmlFragment(std::string_view html, const PictureMapper& picture);

// The text without the characters XML 1.0 does not allow (most C0 controls,
// U+FFFE, U+FFFF), for tree calls that escape by themselves.
std::string XmlText(std::string_view utf8);

// A text for XML character data or a quoted attribute: & < > " ' escaped and
// the characters XML 1.0 does not allow (most C0 controls) removed.
std::string XmlEscape(std::string_view utf8);
