#include "core/ExportEPUB.h"

#include <glib.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "core/AtomicFile.h"
#include "core/Folders.h"
#include "core/PageTemplate.h"
#include "core/Regex.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"
#include "core/XhtmlFragment.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMimetype = "application/epub+zip";

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

struct DocDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

struct ZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};

// The private work folder (mode 0700 under the system's temporary folder),
// removed with its content whatever way the export ends.
class WorkFolder {
  public:
    WorkFolder() {
        if (char* made = g_dir_make_tmp("quira-epub-XXXXXX", nullptr)) {
            path_ = made;
            g_free(made);
        }
    }
    ~WorkFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

bool WriteBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

DocPtr ParseXml(const std::string& text) {
    return DocPtr(xmlReadMemory(
        text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
        XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

bool SaveXml(xmlDoc* doc, const fs::path& path) {
    return xmlSaveFormatFileEnc(path.c_str(), doc, "UTF-8", 1) >= 0;
}

std::string Prop(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, X(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

bool Named(const xmlNode* node, const char* name) {
    return node && node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, X(name)) == 0;
}

// The first element of that name in document order.
xmlNode* FindElement(xmlNode* node, const char* name) {
    for (; node; node = node->next) {
        if (Named(node, name)) return node;
        if (xmlNode* found = FindElement(node->children, name)) return found;
    }
    return nullptr;
}

void ForEachElement(xmlNode* node, const char* name, const std::function<void(xmlNode*)>& visit) {
    while (node) {
        // Children first: the visit may remove the node.
        xmlNode* next = node->next;
        ForEachElement(node->children, name, visit);
        if (Named(node, name)) visit(node);
        node = next;
    }
}

void Remove(xmlNode* node) {
    xmlUnlinkNode(node);
    xmlFreeNode(node);
}

// Only what every EPUB reader shows: JPEG, PNG and GIF, told by their bytes.
std::string PictureType(const fs::path& file, std::string& extension) {
    std::ifstream in(file, std::ios::binary);
    char head[8] = {};
    in.read(head, sizeof head);
    const std::string_view bytes(head, static_cast<size_t>(in.gcount()));
    if (bytes.substr(0, 3) == "\xFF\xD8\xFF") {
        extension = ".jpg";
        return "image/jpeg";
    }
    if (bytes.substr(0, 8) == "\x89PNG\r\n\x1A\n") {
        extension = ".png";
        return "image/png";
    }
    if (bytes.substr(0, 4) == "GIF8") {
        extension = ".gif";
        return "image/gif";
    }
    return {};
}

// A regular file right in the folder (no link that leads elsewhere).
bool IsPlainFile(const fs::path& file) {
    struct stat info {};
    return lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsPictureName(std::string_view name) {
    return name.size() == 32 && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// The package: what has been laid out in the work folder and the two
// documents that list it.
class Package {
  public:
    Package(const fs::path& root, std::string storyFolder)
        : oebps_(root / "OEBPS"), storyFolder_(std::move(storyFolder)) {}

    const fs::path& Oebps() const { return oebps_; }

    // The name of a story-folder picture in the package, copying it on first
    // use; empty for anything that is not a picture file of the story folder.
    std::string Picture(std::string_view src) {
        const std::string name = Trimmed(src);
        if (!IsPictureName(name) || storyFolder_.empty()) return {};
        const std::string key = LowerAscii(name);
        if (const auto it = pictures_.find(key); it != pictures_.end()) return it->second.href;
        const fs::path file = fs::path(storyFolder_) / name;
        std::string extension;
        const std::string type = IsPlainFile(file) ? PictureType(file, extension) : std::string();
        std::error_code error;
        if (type.empty() || !fs::copy_file(file, oebps_ / (key + extension),
                                           fs::copy_options::overwrite_existing, error)) {
            pictures_[key] = {};
            return {};
        }
        pictures_[key] = {key + extension, type};
        return key + extension;
    }

    // Manifest entries for the pictures that were packed.
    void AddPictureItems(xmlNode* manifest) const {
        for (const auto& [key, picture] : pictures_) {
            if (picture.href.empty()) continue;
            xmlNode* item = xmlNewChild(manifest, nullptr, X("item"), nullptr);
            xmlNewProp(item, X("id"), X(("img-" + key).c_str()));
            xmlNewProp(item, X("href"), X(picture.href.c_str()));
            xmlNewProp(item, X("media-type"), X(picture.type.c_str()));
        }
    }

  private:
    struct PackedPicture {
        std::string href;
        std::string type;
    };

    static std::string Trimmed(std::string_view text) {
        const size_t begin = text.find_first_not_of(" \t\r\n");
        if (begin == std::string_view::npos) return {};
        const size_t end = text.find_last_not_of(" \t\r\n");
        return std::string(text.substr(begin, end - begin + 1));
    }
    static std::string LowerAscii(std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return text;
    }

    fs::path oebps_;
    std::string storyFolder_;
    std::map<std::string, PackedPicture> pictures_;
};

// An XHTML page from a template filled with escaped texts and a fragment that
// is already well-formed; checked by parsing, so that no page that is not
// well-formed ever enters the package.
bool WellFormed(const std::string& page) {
    return ParseXml(page) != nullptr;
}

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

bool AddFile(zip_t* archive, const fs::path& file, const std::string& name, bool store) {
    zip_source_t* source = zip_source_file(archive, file.c_str(), 0, -1);
    if (!source) return false;
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    return zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                    store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0) == 0;
}

// Every file under the folder, in a fixed (sorted) order.
std::vector<fs::path> FilesUnder(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        if (it->is_regular_file(error)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

// Packs the work folder: mimetype first and stored (as EPUB readers need to
// recognise the file), then OEBPS, then META-INF. The archive is written
// under a temporary name beside the target, synced, and renamed over it, so a
// failed pack or a power cut leaves any earlier file as it was.
void Pack(const fs::path& root, const std::string& fileName) {
    const std::string temporary = fileName + ".part";
    std::error_code ignored;
    fs::remove(temporary, ignored);
    int error = 0;
    std::unique_ptr<zip_t, ZipDiscard> archive(
        zip_open(temporary.c_str(), ZIP_CREATE | ZIP_EXCL, &error));
    if (!archive) throw TExportError("cannot create " + fileName);
    bool ok = AddFile(archive.get(), root / "mimetype", "mimetype", true);
    for (const char* folder : {"OEBPS", "META-INF"})
        for (const auto& file : FilesUnder(root / folder))
            ok = ok &&
                 AddFile(archive.get(), file, fs::relative(file, root).generic_string(), false);
    if (!ok) throw TExportError("cannot pack " + fileName);
    if (zip_close(archive.get()) != 0) throw TExportError("cannot write " + fileName);
    archive.release();
    // libzip leaves its file private; an export is the user's ordinary file.
    if (::chmod(temporary.c_str(), platform::NewFileMode()) != 0 ||
        !platform::ReplaceFileDurably(temporary, fileName)) {
        fs::remove(temporary, ignored);
        throw TExportError("cannot write " + fileName);
    }
}

}  // namespace

TExportEPUB::TExportEPUB()
    : content_(LoadTemplateText("EPUB_content")),
      toc_(LoadTemplateText("EPUB_toc")),
      contentOpf_(LoadTemplateText("EPUB_content_opf")) {}

TExportEPUB::~TExportEPUB() {
    StopWorker();
}

void TExportEPUB::LoadChapters(std::string_view siteID, std::string_view articleID) {
    // The cache file names the folder the same way; an unknown story has none.
    const std::string probe = ChapterCacheFile(siteID, articleID, "");
    StoryFolder = probe.empty() ? std::string() : fs::path(probe).parent_path().string() + "/";
    LoadCachedChapters(siteID, articleID, true);
}

std::string TExportEPUB::WorkFolderPath() const {
    std::lock_guard lock(workFolderMutex_);
    return workFolder_;
}

AnsiString TExportEPUB::HtmlToXhtml(std::string_view html) {
    AnsiString text = StripTags(DecodeEntities(html));
    text = RegexReplaceAll("(?i)<br\\s*/?>", text, "tempbr");
    text = RegexReplaceAll("(?i)tempbr", text, "<br/>");
    text = RegexReplaceAll("(?i)<p>", text, "");
    text = RegexReplaceAll("(?i)</p>", text, "");
    text = RegexReplaceAll("\\n[\\s| ]*\\r", text, "");
    return DecodeFiveDigitReferences(text);
}

std::string TExportEPUB::DoExport(const std::string& folder, int startIndex) {
    const std::string fileName = ExportFileName(folder, Title, ".epub");
    const WorkFolder work;
    if (work.Path().empty())
        throw TExportError("no temporary folder for " + fileName, TExportFailure::WorkSpace);
    {
        std::lock_guard lock(workFolderMutex_);
        workFolder_ = work.Path().string();
    }
    const fs::path root = work.Path();
    Package package(root, StoryFolder);
    std::error_code error;
    fs::create_directories(root / "META-INF", error);
    fs::create_directories(package.Oebps(), error);

    // A missing or broken template would make a book no reader opens; the
    // export fails instead (the chapter template when its first page is
    // made). The type line and the style sheet have safe stand-ins (the
    // fixed type, no style).
    const std::string container = LoadTemplateText("EPUB_container");
    if (!WellFormed(container))
        throw TExportError("the container template is missing or broken",
                           TExportFailure::Templates);
    const std::string mimetype = Trim(LoadTemplateText("EPUB_mimetype"));
    WriteBytes(root / "mimetype", mimetype.empty() ? kMimetype : mimetype);
    WriteBytes(root / "META-INF" / "container.xml", container + "\r\n");
    WriteBytes(package.Oebps() / "default.css", LoadTemplateText("EPUB_default") + "\r\n");

    const std::string title = platform::AnsiToUtf8(Title);
    const std::string author = platform::AnsiToUtf8(Author);
    const fs::path cover = fs::path(StoryFolder) / "cover.jpg";
    std::string coverExtension;
    const bool hasCover = !StoryFolder.empty() && IsPlainFile(cover) &&
                          PictureType(cover, coverExtension) == "image/jpeg" &&
                          fs::copy_file(cover, package.Oebps() / "cover.jpg",
                                        fs::copy_options::overwrite_existing, error);

    // The cover page; without a cover picture it shows the title alone.
    {
        const std::string coverTitle = XmlEscape(title + " - [" + author + "]");
        DocPtr page = ParseXml(
            FillTemplate(LoadTemplateText("EPUB_cover"),
                         {{"Title", coverTitle}, {"create", "Tolvane"}, {"Cover", "cover.jpg"}}));
        if (!page)
            throw TExportError("the cover template is missing or broken",
                               TExportFailure::Templates);
        if (!hasCover) ForEachElement(xmlDocGetRootElement(page.get()), "img", Remove);
        SaveXml(page.get(), package.Oebps() / "cover.html");
    }

    // Both package templates carry the same three tags; the date is filled in
    // the navigation file too, so that no bare tag ends up in the package.
    const TemplateValues packageValues{
        {"Title", XmlEscape(title)}, {"Author", XmlEscape(author)}, {"Date", Today()}};
    DocPtr toc = ParseXml(FillTemplate(toc_, packageValues));
    DocPtr opf = ParseXml(FillTemplate(contentOpf_, packageValues));
    if (!toc || !opf)
        throw TExportError("the package templates are missing or broken",
                           TExportFailure::Templates);
    xmlNode* navMap = FindElement(xmlDocGetRootElement(toc.get()), "navMap");
    xmlNode* manifest = FindElement(xmlDocGetRootElement(opf.get()), "manifest");
    xmlNode* spine = FindElement(xmlDocGetRootElement(opf.get()), "spine");

    // One identifier per export, the same in both documents.
    gchar* uuid = g_uuid_string_random();
    const std::string identifier = std::string("urn:uuid:") + uuid;
    g_free(uuid);
    if (xmlNode* id = FindElement(xmlDocGetRootElement(opf.get()), "identifier"))
        xmlNodeSetContent(id, X(identifier.c_str()));
    ForEachElement(xmlDocGetRootElement(toc.get()), "meta", [&](xmlNode* meta) {
        if (Prop(meta, "name") == "dtb:uid") xmlSetProp(meta, X("content"), X(identifier.c_str()));
    });
    if (!hasCover) {
        ForEachElement(xmlDocGetRootElement(opf.get()), "item", [](xmlNode* item) {
            if (Prop(item, "href") == "cover.jpg") Remove(item);
        });
        ForEachElement(xmlDocGetRootElement(opf.get()), "meta", [](xmlNode* meta) {
            if (Prop(meta, "name") == "cover") Remove(meta);
        });
    }

    const int count = static_cast<int>(Chapters.size());
    int playOrder = 0;
    // Play order counts the entries from the start chapter on. A chapter without
    // a name has no entry and takes no number: a gap in the sequence makes the
    // navigation file invalid.
    const auto addNavPoint = [&](const std::string& label, const std::string& target) {
        if (!navMap) return;
        ++playOrder;
        xmlNode* point = xmlNewChild(navMap, nullptr, X("navPoint"), nullptr);
        xmlNewProp(point, X("id"), X(("navpoint-" + std::to_string(playOrder)).c_str()));
        xmlNewProp(point, X("playOrder"), X(std::to_string(playOrder).c_str()));
        xmlNode* navLabel = xmlNewChild(point, nullptr, X("navLabel"), nullptr);
        xmlNewTextChild(navLabel, nullptr, X("text"), X(XmlText(label).c_str()));
        xmlNode* content = xmlNewChild(point, nullptr, X("content"), nullptr);
        xmlNewProp(content, X("src"), X(target.c_str()));
    };
    const PictureMapper picture = [&](std::string_view src) { return package.Picture(src); };

    for (int i = std::max(startIndex, 0); i < count; ++i) {
        if (cancelled_) return fileName;
        const TChapterItemData& chapter = Chapters[static_cast<size_t>(i)];
        const AnsiString content = TrimAndIndent(chapter.ChapterContent);
        Progress(i + 1, chapter.ChapterName, count);
        if (chapter.ChapterName.empty()) continue;
        const std::string name = platform::AnsiToUtf8(chapter.ChapterName);
        const AnsiString html = ContainsImage(content) ? content : HtmlToXhtml(content);
        const std::string fragment = HtmlToXhtmlFragment(platform::AnsiToUtf8(html), picture);
        const TemplateValues escaped{{"Title", XmlEscape(name)}, {"Author", XmlEscape(author)}};
        TemplateValues values = escaped;
        values.emplace_back("Content", fragment);
        // No indent in front: the XML declaration must open the page.
        std::string page = Trim(FillTemplate(content_, values));
        if (!WellFormed(page)) {
            values = escaped;
            values.emplace_back("Content",
                                "<p>" + XmlEscape(platform::AnsiToUtf8(StripTags(html))) + "</p>");
            page = Trim(FillTemplate(content_, values));
            if (!WellFormed(page))
                throw TExportError("the chapter template is missing or broken",
                                   TExportFailure::Templates);
        }
        const std::string target = std::to_string(i) + ".html";
        if (!WriteBytes(package.Oebps() / target, page + "\r\n"))
            throw TExportError("cannot write the chapter pages of " + fileName);
        addNavPoint(name, target);
        if (manifest) {
            // An XML id may not begin with a digit.
            const std::string id = "chapter-" + std::to_string(i);
            xmlNode* item = xmlNewChild(manifest, nullptr, X("item"), nullptr);
            xmlNewProp(item, X("id"), X(id.c_str()));
            xmlNewProp(item, X("href"), X(target.c_str()));
            xmlNewProp(item, X("media-type"), X("application/xhtml+xml"));
            if (spine) {
                xmlNode* itemref = xmlNewChild(spine, nullptr, X("itemref"), nullptr);
                xmlNewProp(itemref, X("idref"), X(id.c_str()));
            }
        }
    }
    if (cancelled_) return fileName;
    // The navigation map may not be empty: without chapters it leads to the cover.
    if (playOrder == 0) addNavPoint(title, "cover.html");
    if (manifest) package.AddPictureItems(manifest);
    if (!SaveXml(toc.get(), package.Oebps() / "toc.ncx") ||
        !SaveXml(opf.get(), package.Oebps() / "content.opf"))
        throw TExportError("cannot write the package files of " + fileName);

    if (!MakeFolders(WithTrailingSlash(folder))) throw TExportError("cannot create " + folder);
    Pack(root, fileName);
    return fileName;
}
