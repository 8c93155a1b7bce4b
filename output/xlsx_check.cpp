#include "xlsx_check.h"

#include "file_handle.h"
#include "shared_library.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>
#include <zlib.h>

namespace dozorira::output {
namespace {

constexpr std::string_view SheetName = "xl/worksheets/sheet1.xml";
constexpr std::string_view SecondSheetName = "xl/worksheets/sheet2.xml";
constexpr std::uint32_t EndOfDirectory = 0x06054b50;
constexpr std::uint32_t DirectoryEntry = 0x02014b50;
constexpr std::size_t EndOfDirectoryBytes = 22; // the library writes no zip comment
constexpr std::size_t DirectoryEntryBytes = 46;
constexpr std::size_t LocalHeaderBytes = 30;

std::string readAll(const std::string& path) {
    const FileHandle file = openFile(path.c_str(), "rb");
    std::string bytes;
    if (!file) return bytes;
    std::array<char, 65536> buffer{};
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0;)
        bytes.append(buffer.data(), n);
    return bytes;
}

// A little-endian number of the zip format; 0 past the end, which no check below accepts.
std::uint32_t number(std::string_view bytes, std::size_t at, std::size_t width) {
    if (at + width > bytes.size()) return 0;
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

struct Part {
    std::string_view name;
    std::uint32_t method = 0;
    std::string_view data; // compressed
    std::uint32_t size = 0;
};

// The parts the central directory lists; nothing when the zip is malformed.
std::vector<Part> partsOf(std::string_view zip) {
    if (zip.size() < EndOfDirectoryBytes) return {};
    const std::size_t end = zip.size() - EndOfDirectoryBytes;
    if (number(zip, end, 4) != EndOfDirectory) return {};
    std::vector<Part> parts(number(zip, end + 10, 2));
    std::size_t at = number(zip, end + 16, 4);
    for (Part& part : parts) {
        if (number(zip, at, 4) != DirectoryEntry) return {};
        const std::uint32_t nameBytes = number(zip, at + 28, 2);
        const std::size_t local = number(zip, at + 42, 4);
        const std::size_t data =
            local + LocalHeaderBytes + number(zip, local + 26, 2) + number(zip, local + 28, 2);
        const std::uint32_t compressed = number(zip, at + 20, 4);
        if (at + DirectoryEntryBytes + nameBytes > zip.size() || data + compressed > zip.size())
            return {};
        part = {zip.substr(at + DirectoryEntryBytes, nameBytes), number(zip, at + 10, 2),
                zip.substr(data, compressed), number(zip, at + 24, 4)};
        at += DirectoryEntryBytes + nameBytes + number(zip, at + 30, 2) + number(zip, at + 32, 2);
    }
    return parts;
}

// What the checks need of a part's text, gathered as it is inflated piece by piece.
struct Text {
    std::string head;
    std::string tail;
    std::size_t rows = 0;
    std::size_t size = 0;

    void add(std::string_view piece) {
        if (head.size() < 256) head.append(piece.substr(0, 256 - head.size()));
        // The tail kept so far may hold the start of a "</row>" that ends in this piece, but
        // none that it counted already.
        std::string window = tail;
        window.append(piece);
        for (std::size_t at = window.find("</row>"); at != std::string::npos;
             at = window.find("</row>", at + 1))
            if (at + 6 > tail.size()) ++rows;
        tail = window.substr(window.size() > 64 ? window.size() - 64 : 0);
        size += piece.size();
    }
};

// The functions of zlib that reading a workbook back calls, loaded by the first run that writes
// one.
struct Zlib {
    decltype(&inflateInit2_) init = nullptr;
    decltype(&inflate) run = nullptr;
    decltype(&inflateEnd) end = nullptr;

    explicit Zlib(const SharedLibrary& library) {
        library.find("inflateInit2_", init);
        library.find("inflate", run);
        library.find("inflateEnd", end);
    }
};

const Zlib& zlib() {
    static const SharedLibrary library(DOZORIRA_ZLIB_SONAME, "reads back the xlsx written");
    static const Zlib functions(library);
    return functions;
}

bool inflated(const Part& part, Text& text) {
    if (part.method == 0) {
        text.add(part.data);
        return true;
    }
    z_stream stream{};
    if (part.method != Z_DEFLATED ||
        zlib().init(&stream, -MAX_WBITS, ZLIB_VERSION, sizeof stream) != Z_OK)
        return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data.data()));
    stream.avail_in = static_cast<uInt>(part.data.size());
    std::array<char, 65536> buffer{};
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = buffer.size();
        status = zlib().run(&stream, Z_NO_FLUSH);
        text.add({buffer.data(), buffer.size() - stream.avail_out});
    }
    zlib().end(&stream);
    return status == Z_STREAM_END;
}

// Whether the text closes the element it began with, after its XML declaration.
bool closesItsRoot(const Text& text) {
    std::size_t start = text.head.find('<');
    while (start != std::string::npos && start + 1 < text.head.size() &&
           (text.head[start + 1] == '?' || text.head[start + 1] == '!'))
        start = text.head.find('<', start + 1);
    if (start == std::string::npos) return false;
    const std::size_t nameEnd = text.head.find_first_of(" />", start + 1);
    if (nameEnd == std::string::npos) return false;
    const std::string close = "</" + text.head.substr(start + 1, nameEnd - start - 1) + ">";
    const std::size_t last = text.tail.find_last_not_of(" \r\n");
    return last != std::string::npos && last + 1 >= close.size() &&
           text.tail.compare(last + 1 - close.size(), close.size(), close) == 0;
}

} // namespace

std::string damagedPart(const std::string& path, std::size_t sheetRows,
                        std::size_t secondSheetRows) {
    const std::string zip = readAll(path);
    const std::vector<Part> parts = partsOf(zip);
    if (parts.empty()) return "the zip file cannot be read back";
    bool sheetSeen = false;
    for (const Part& part : parts) {
        const bool isSheet = part.name == SheetName;
        const bool isSecondSheet = part.name == SecondSheetName;
        sheetSeen = sheetSeen || isSheet;
        if (!part.name.ends_with(".xml") && !part.name.ends_with(".rels")) continue;
        Text text;
        if (!inflated(part, text) || text.size != part.size || !closesItsRoot(text) ||
            (isSheet && text.rows != sheetRows) || (isSecondSheet && text.rows != secondSheetRows))
            return std::string(part.name);
    }
    return sheetSeen ? std::string() : std::string(SheetName);
}

} // namespace dozorira::output
