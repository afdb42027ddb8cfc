#include "core/XhtmlFragment.h"

#include "core/HtmlSanitizer.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <array>
#include <memory>

namespace {

struct DocDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

std::string Name(const xmlNode* node) {
    std::string name = node->name ? reinterpret_cast<const char*>(node->name) : "";
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
}

template <size_t N>
bool OneOf(const std::string& name, const std::array<std::string_view, N>& names) {
    for (const auto n : names)
        if (n == name) return true;
    return false;
}

bool IsDropped(const std::string& name) {
    static constexpr std::array<std::string_view, 20> kNames{
        "script", "style",  "head",     "title", "noscript", "iframe",  "frame",
        "object", "embed",  "applet",   "meta",  "link",     "form",    "input",
        "select", "button", "textarea", "svg",   "math",     "template"};
    return OneOf(name, kNames);
}

bool IsBlock(const std::string& name) {
    static constexpr std::array<std::string_view, 36> kNames{
        "p",      "div",        "center",  "blockquote", "h1",     "h2",    "h3",  "h4",
        "h5",     "h6",         "ul",      "ol",         "li",     "dl",    "dt",  "dd",
        "table",  "tbody",      "thead",   "tfoot",      "tr",     "td",    "th",  "caption",
        "pre",    "section",    "article", "header",     "footer", "aside", "nav", "address",
        "figure", "figcaption", "hr",      "body"};
    return OneOf(name, kNames);
}

bool IsHeading(const std::string& name) {
    return name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6';
}

bool IsKeptInline(const std::string& name) {
    static constexpr std::array<std::string_view, 8> kNames{"b",   "strong", "i",     "em",
                                                            "sub", "sup",    "small", "big"};
    return OneOf(name, kNames);
}

bool HasBlockInside(const xmlNode* node) {
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        const std::string name = Name(child);
        if (IsDropped(name)) continue;
        if (IsBlock(name) || HasBlockInside(child)) return true;
    }
    return false;
}

// The characters XML 1.0 allows, from UTF-8 (invalid sequences are left to
// the parser, which never produces them).
std::string XmlChars(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
        // U+FFFE and U+FFFF (EF BF BE / EF BF BF) are no characters either.
        if (c == 0xEF && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0xBF &&
            (static_cast<unsigned char>(utf8[i + 2]) & 0xFE) == 0xBE) {
            i += 2;
            continue;
        }
        out += static_cast<char>(c);
    }
    return out;
}

std::string Attribute(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, X(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

class Converter {
  public:
    Converter(xmlDoc* out, xmlNode* container, const PictureMapper& picture)
        : out_(out), container_(container), picture_(picture) {}

    // Children of a block: inline runs become paragraphs, line breaks and
    // blocks end them.
    void Block(xmlNode* first) {
        for (xmlNode* node = first; node; node = node->next) {
            if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
                const std::string text = Text(node);
                if (!paragraph_ && text.find_first_not_of(" \t\r\n") == std::string::npos) continue;
                AddText(Paragraph(), text);
                continue;
            }
            if (node->type != XML_ELEMENT_NODE) continue;
            const std::string name = Name(node);
            if (IsDropped(name)) continue;
            if (name == "br") {
                paragraph_ = nullptr;
            } else if (IsHeading(name)) {
                // A heading stays one, its content flattened to what a
                // heading may hold.
                paragraph_ = nullptr;
                xmlNode* heading = xmlNewChild(container_, nullptr, X(name.c_str()), nullptr);
                for (xmlNode* child = node->children; child; child = child->next)
                    Inline(heading, child);
            } else if (IsBlock(name) || HasBlockInside(node)) {
                paragraph_ = nullptr;
                Block(node->children);
                paragraph_ = nullptr;
            } else {
                Inline(Paragraph(), node);
            }
        }
    }

  private:
    static std::string Text(xmlNode* node) {
        return node->content ? reinterpret_cast<const char*>(node->content) : "";
    }

    xmlNode* Paragraph() {
        if (!paragraph_) paragraph_ = xmlNewChild(container_, nullptr, X("p"), nullptr);
        return paragraph_;
    }

    void AddText(xmlNode* parent, const std::string& text) {
        const std::string chars = XmlChars(text);
        if (chars.empty()) return;
        xmlAddChild(parent,
                    xmlNewDocTextLen(out_, X(chars.c_str()), static_cast<int>(chars.size())));
    }

    void Inline(xmlNode* parent, xmlNode* node) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            AddText(parent, Text(node));
            return;
        }
        if (node->type != XML_ELEMENT_NODE) return;
        const std::string name = Name(node);
        if (IsDropped(name)) return;
        if (name == "br") {
            xmlNewChild(parent, nullptr, X("br"), nullptr);
        } else if (name == "img") {
            const std::string src = picture_ ? picture_(Attribute(node, "src")) : std::string();
            const std::string alt = Attribute(node, "alt");
            if (src.empty()) {
                // A picture the book cannot hold (its download failed, or it
                // is no picture of the story) leaves a trace of where it was.
                AddText(parent, alt.find_first_not_of(" \t\r\n") == std::string::npos
                                    ? std::string("[图片]")
                                    : "[图片：" + alt + "]");
                return;
            }
            xmlNode* img = xmlNewChild(parent, nullptr, X("img"), nullptr);
            xmlNewProp(img, X("src"), X(XmlChars(src).c_str()));
            xmlNewProp(img, X("alt"), X(XmlChars(alt).c_str()));
        } else if (IsKeptInline(name)) {
            xmlNode* element = xmlNewChild(parent, nullptr, X(name.c_str()), nullptr);
            for (xmlNode* child = node->children; child; child = child->next)
                Inline(element, child);
        } else {
            for (xmlNode* child = node->children; child; child = child->next) Inline(parent, child);
        }
    }

    xmlDoc* out_;
    xmlNode* container_;
    const PictureMapper& picture_;
    xmlNode* paragraph_ = nullptr;
};

bool IsTrimmedSpace(std::string_view text, size_t at, size_t& length) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        length = 1;
        return true;
    }
    // U+00A0 and the ideographic space U+3000: the style sheet indents.
    if (text.substr(at, 2) == "\xC2\xA0") {
        length = 2;
        return true;
    }
    if (text.substr(at, 3) == "\xE3\x80\x80") {
        length = 3;
        return true;
    }
    return false;
}

std::string TrimStart(std::string_view text) {
    size_t i = 0;
    size_t length = 0;
    while (i < text.size() && IsTrimmedSpace(text, i, length)) i += length;
    return std::string(text.substr(i));
}

std::string TrimEnd(std::string_view text) {
    size_t end = text.size();
    while (end > 0) {
        if (end >= 3 && text.substr(end - 3, 3) == "\xE3\x80\x80")
            end -= 3;
        else if (end >= 2 && text.substr(end - 2, 2) == "\xC2\xA0")
            end -= 2;
        else if (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r' ||
                 text[end - 1] == '\n')
            --end;
        else
            break;
    }
    return std::string(text.substr(0, end));
}

bool HasContent(const xmlNode* node) {
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type == XML_TEXT_NODE && child->content && *child->content) return true;
        if (child->type == XML_ELEMENT_NODE && (Name(child) == "img" || HasContent(child)))
            return true;
    }
    return false;
}

// Paragraphs lose the white space at their ends (the page indents them) and
// empty ones go.
void TidyParagraphs(xmlNode* container) {
    for (xmlNode* p = container->children; p;) {
        xmlNode* next = p->next;
        xmlNode* first = p->children;
        while (first && first->type == XML_TEXT_NODE) {
            const std::string trimmed = TrimStart(reinterpret_cast<const char*>(first->content));
            xmlNodeSetContent(first, nullptr);
            xmlNodeAddContent(first, X(trimmed.c_str()));
            if (!trimmed.empty()) break;
            xmlNode* empty = first;
            first = first->next;
            xmlUnlinkNode(empty);
            xmlFreeNode(empty);
        }
        xmlNode* last = p->last;
        while (last && last->type == XML_TEXT_NODE) {
            const std::string trimmed = TrimEnd(reinterpret_cast<const char*>(last->content));
            xmlNodeSetContent(last, nullptr);
            xmlNodeAddContent(last, X(trimmed.c_str()));
            if (!trimmed.empty()) break;
            xmlNode* empty = last;
            last = last->prev;
            xmlUnlinkNode(empty);
            xmlFreeNode(empty);
        }
        if (!HasContent(p)) {
            xmlUnlinkNode(p);
            xmlFreeNode(p);
        }
        p = next;
    }
}

}  // namespace

std::string XmlText(std::string_view utf8) {
    return XmlChars(utf8);
}

std::string XmlEscape(std::string_view utf8) {
    // The five characters are escaped byte for byte, so the UTF-8 text passes
    // through the same escaping as the pages' plain texts.
    return EscapeHtml(XmlChars(utf8));
}

std::string HtmlToXhtmlFragment(std::string_view html, const PictureMapper& picture) {
    // A document of its own around the fragment, so the parser reads it as
    // body content in UTF-8 whatever the fragment declares.
    const std::string wrapped =
        "<html><head><meta http-equiv=\"Content-Type\" "
        "content=\"text/html; charset=utf-8\"></head><body>" +
        std::string(html) + "</body></html>";
    DocPtr in(htmlReadMemory(wrapped.data(), static_cast<int>(wrapped.size()), nullptr, "UTF-8",
                             HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET));
    if (!in) return {};
    xmlNode* body = nullptr;
    if (xmlNode* root = xmlDocGetRootElement(in.get())) {
        for (xmlNode* node = root->children; node && !body; node = node->next)
            if (node->type == XML_ELEMENT_NODE && Name(node) == "body") body = node;
    }
    if (!body) return {};

    DocPtr out(xmlNewDoc(X("1.0")));
    xmlNode* container = xmlNewDocNode(out.get(), nullptr, X("div"), nullptr);
    xmlDocSetRootElement(out.get(), container);
    Converter(out.get(), container, picture).Block(body->children);
    TidyParagraphs(container);

    std::string fragment;
    for (xmlNode* p = container->children; p; p = p->next) {
        xmlBuffer* buffer = xmlBufferCreate();
        xmlNodeDump(buffer, out.get(), p, 0, 0);
        fragment.append(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                        static_cast<size_t>(xmlBufferLength(buffer)));
        fragment += "\n";
        xmlBufferFree(buffer);
    }
    return fragment;
}
