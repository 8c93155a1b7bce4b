#include "xlsx_strings.h"

#include "error.h"
#include "record_file.h"
#include "shared_library.h"

#include <array>
#include <cerrno>
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace dozorira::output {
namespace {

constexpr std::string_view ContentTypesPart = "[Content_Types].xml";
constexpr std::string_view WorkbookRelationsPart = "xl/_rels/workbook.xml.rels";
constexpr const char* SharedStringsPart = "xl/sharedStrings.xml";
constexpr std::size_t PieceBytes = 65536;
// A sheet of many thousand rows deflates at level 5 to within 2% of the default level's size, in
// three fifths of its time.
constexpr int SheetLevel = 5;

// The functions of minizip that the copy calls.
struct Minizip {
    decltype(&unzOpen64) openReader = nullptr;
    decltype(&unzClose) closeReader = nullptr;
    decltype(&unzGoToFirstFile) firstPart = nullptr;
    decltype(&unzGoToNextFile) nextPart = nullptr;
    decltype(&unzGetCurrentFileInfo64) partInfo = nullptr;
    decltype(&unzOpenCurrentFile2) openPart = nullptr;
    decltype(&unzReadCurrentFile) readPart = nullptr;
    decltype(&unzCloseCurrentFile) closePart = nullptr;
    decltype(&zipOpen64) openWriter = nullptr;
    decltype(&zipClose) closeWriter = nullptr;
    decltype(&zipOpenNewFileInZip2_64) addPart = nullptr;
    decltype(&zipWriteInFileInZip) writePart = nullptr;
    decltype(&zipCloseFileInZip) endPart = nullptr;
    decltype(&zipCloseFileInZipRaw64) endRawPart = nullptr;

    explicit Minizip(const SharedLibrary& library) {
        library.find("unzOpen64", openReader);
        library.find("unzClose", closeReader);
        library.find("unzGoToFirstFile", firstPart);
        library.find("unzGoToNextFile", nextPart);
        library.find("unzGetCurrentFileInfo64", partInfo);
        library.find("unzOpenCurrentFile2", openPart);
        library.find("unzReadCurrentFile", readPart);
        library.find("unzCloseCurrentFile", closePart);
        library.find("zipOpen64", openWriter);
        library.find("zipClose", closeWriter);
        library.find("zipOpenNewFileInZip2_64", addPart);
        library.find("zipWriteInFileInZip", writePart);
        library.find("zipCloseFileInZip", endPart);
        library.find("zipCloseFileInZipRaw64", endRawPart);
    }
};

const Minizip& minizip() {
    static const SharedLibrary library(DOZORIRA_MINIZIP_SONAME,
                                       "shares the texts of xlsx workbooks");
    static const Minizip functions(library);
    return functions;
}

// A failure of either zip, with the system's reason where minizip left one. Every call is
// checked at once, so that errno is that of the call that failed.
class Failure {
public:
    explicit Failure(const std::string& output) : output_(output) { errno = 0; }

    void check(bool succeeded) const {
        if (succeeded) {
            errno = 0;
            return;
        }
        if (errno != 0) files::failOutput(output_, "cannot write", errno);
        throw RunError(ErrorKind::FileError,
                       "cannot compose the output file: its zip could not be copied")
            .inFile(output_);
    }

private:
    const std::string& output_;
};

// The shared strings in the order of their first use. Each is kept as the XML inside its inline
// string, which is the XML of a shared string item too: the same <t> element, escaped as it is.
class SharedStrings {
public:
    std::size_t indexOf(std::string_view item) {
        ++uses_;
        const auto [found, isNew] = index_.try_emplace(std::string(item), items_.size());
        if (isNew) items_.push_back(&found->first);
        return found->second;
    }

    std::string part() const {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst "
                          "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                          "count=\"" +
                          std::to_string(uses_) + "\" uniqueCount=\"" +
                          std::to_string(items_.size()) + "\">";
        for (const std::string* item : items_)
            xml.append("<si>").append(*item).append("</si>");
        return xml + "</sst>";
    }

private:
    std::unordered_map<std::string, std::size_t> index_;
    std::vector<const std::string*> items_;
    std::size_t uses_ = 0;
};

// The sheet's XML, rewritten a row at a time: <c r="A2" t="inlineStr"><is><t>pp01</t></is></c>
// becomes <c r="A2" t="s"><v>0</v></c>.
class SheetRewriter {
public:
    explicit SheetRewriter(SharedStrings& strings) : strings_(strings) {}

    // Rewrites the rows that the text so far completes into out.
    void add(std::string_view piece, std::string& out) {
        pending_.append(piece);
        const std::size_t end = pending_.rfind("</row>");
        if (end == std::string::npos) return;
        rewrite(std::string_view(pending_).substr(0, end), out);
        pending_.erase(0, end);
    }
    void finish(std::string& out) {
        rewrite(pending_, out);
        pending_.clear();
    }

private:
    void rewrite(std::string_view text, std::string& out) {
        constexpr std::string_view Inline = "t=\"inlineStr\"><is>";
        constexpr std::string_view InlineEnd = "</is>";
        std::size_t at = 0;
        for (std::size_t cell; (cell = text.find(Inline, at)) != std::string_view::npos;) {
            const std::size_t item = cell + Inline.size();
            const std::size_t end = text.find(InlineEnd, item);
            if (end == std::string_view::npos) break; // a sheet cut short, which is checked later
            out.append(text.substr(at, cell - at)).append("t=\"s\"><v>");
            out.append(std::to_string(strings_.indexOf(text.substr(item, end - item))));
            out.append("</v>");
            at = end + InlineEnd.size();
        }
        out.append(text.substr(at));
    }

    SharedStrings& strings_;
    std::string pending_;
};

// The data sheet and the provenance sheet: xl/worksheets/sheet1.xml, sheet2.xml.
bool isSheet(std::string_view part) {
    return part.starts_with("xl/worksheets/sheet") && part.ends_with(".xml");
}

// The part that registers the others gains the shared strings, which the library left out.
std::string withSharedStrings(std::string_view name, std::string xml) {
    std::string_view closing;
    std::string entry;
    if (name == ContentTypesPart) {
        closing = "</Types>";
        entry = "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/"
                "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
    } else {
        closing = "</Relationships>";
        int id = 1;
        while (xml.find("Id=\"rId" + std::to_string(id) + "\"") != std::string::npos)
            ++id;
        entry = "<Relationship Id=\"rId" + std::to_string(id) +
                "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                "sharedStrings\" Target=\"sharedStrings.xml\"/>";
    }
    const std::size_t at = xml.rfind(closing);
    if (at != std::string::npos) xml.insert(at, entry);
    return xml;
}

class Copy {
public:
    Copy(const std::string& from, const std::string& to, const std::string& output)
        : failure_(output), from_(minizip().openReader(from.c_str())),
          to_(from_ ? minizip().openWriter(to.c_str(), APPEND_STATUS_CREATE) : nullptr) {
        failure_.check(from_ != nullptr && to_ != nullptr);
    }
    ~Copy() {
        if (to_) minizip().closeWriter(to_, nullptr);
        if (from_) minizip().closeReader(from_);
    }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    void run() {
        SharedStrings strings;
        for (int status = minizip().firstPart(from_); status != UNZ_END_OF_LIST_OF_FILE;
             status = minizip().nextPart(from_)) {
            failure_.check(status == UNZ_OK);
            copyPart(strings);
        }
        writeWhole(SharedStringsPart, strings.part());
        zipFile finished = std::exchange(to_, nullptr);
        failure_.check(minizip().closeWriter(finished, nullptr) == ZIP_OK);
    }

private:
    struct Compression {
        int method = 0;
        int level = 0;
    };

    void copyPart(SharedStrings& strings) {
        std::array<char, 512> name{};
        failure_.check(minizip().partInfo(from_, &info_, name.data(), name.size() - 1, nullptr, 0,
                                          nullptr, 0) == UNZ_OK);
        const std::string_view part = name.data();
        if (isSheet(part))
            rewriteSheet(name.data(), strings);
        else if (part == ContentTypesPart || part == WorkbookRelationsPart)
            writeWhole(name.data(), withSharedStrings(part, readWhole()));
        else
            copyRaw(name.data());
    }

    // Opens the current part, inflated unless raw.
    Compression openPart(bool raw) {
        Compression compression;
        failure_.check(minizip().openPart(from_, &compression.method, &compression.level,
                                          raw ? 1 : 0) == UNZ_OK);
        return compression;
    }

    // Calls take with every piece of the open part, then closes it; an inflated part is checked
    // against its CRC as it is closed.
    template <typename Take> void readPieces(Take take) {
        std::array<char, PieceBytes> piece{};
        int got = 0;
        while ((got = minizip().readPart(from_, piece.data(), piece.size())) > 0)
            take(std::string_view(piece.data(), static_cast<std::size_t>(got)));
        failure_.check(got == 0);
        failure_.check(minizip().closePart(from_) == UNZ_OK);
    }

    std::string readWhole() {
        std::string whole;
        openPart(false);
        readPieces([&whole](std::string_view piece) { whole.append(piece); });
        return whole;
    }

    // A part is written with the date and attributes of the part it copies; the library dates
    // them all alike, so that two runs give the same bytes.
    void beginPart(const char* name, Compression compression, bool raw) {
        zip_fileinfo zipInfo{};
        zipInfo.dosDate = info_.dosDate;
        zipInfo.internal_fa = info_.internal_fa;
        zipInfo.external_fa = info_.external_fa;
        failure_.check(minizip().addPart(to_, name, &zipInfo, nullptr, 0, nullptr, 0, nullptr,
                                         compression.method, compression.level, raw ? 1 : 0,
                                         0) == ZIP_OK);
    }

    void write(const char* bytes, std::size_t size) {
        if (size == 0) return;
        failure_.check(minizip().writePart(to_, bytes, static_cast<unsigned>(size)) == ZIP_OK);
    }

    void endPart() { failure_.check(minizip().endPart(to_) == ZIP_OK); }

    void writeWhole(const char* name, const std::string& bytes) {
        beginPart(name, {Z_DEFLATED, Z_DEFAULT_COMPRESSION}, false);
        write(bytes.data(), bytes.size());
        endPart();
    }

    // A part that needs no change keeps its compressed bytes.
    void copyRaw(const char* name) {
        beginPart(name, openPart(true), true);
        readPieces([this](std::string_view piece) { write(piece.data(), piece.size()); });
        failure_.check(minizip().endRawPart(to_, info_.uncompressed_size, info_.crc) == ZIP_OK);
    }

    void rewriteSheet(const char* name, SharedStrings& strings) {
        openPart(false);
        beginPart(name, {Z_DEFLATED, SheetLevel}, false);
        SheetRewriter rewriter(strings);
        std::string rewritten;
        readPieces([&](std::string_view piece) {
            rewriter.add(piece, rewritten);
            write(rewritten.data(), rewritten.size());
            rewritten.clear();
        });
        rewriter.finish(rewritten);
        write(rewritten.data(), rewritten.size());
        endPart();
    }

    Failure failure_;
    unzFile from_;
    zipFile to_;
    unz_file_info64 info_{}; // of the part being copied, or the last one
};

} // namespace

void shareStrings(const std::string& from, const std::string& to, const std::string& output) {
    Copy(from, to, output).run();
}

} // namespace dozorira::output
