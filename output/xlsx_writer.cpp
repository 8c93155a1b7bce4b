#include "xlsx_writer.h"

#include "error.h"
#include "record_file.h"
#include "scratch_file.h"
#include "shared_library.h"
#include "target.h"
#include "xlsx_check.h"
#include "xlsx_strings.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <xlsxwriter.h>

namespace dozorira::output {
namespace {

// The functions of libxlsxwriter that the writer calls. The library is loaded by the first run
// that writes a workbook, so that every other run starts without it.
struct XlsxWriter {
    decltype(&workbook_new_opt) newWorkbook = nullptr;
    decltype(&workbook_set_properties) setProperties = nullptr;
    decltype(&workbook_add_worksheet) addWorksheet = nullptr;
    decltype(&workbook_add_format) addFormat = nullptr;
    decltype(&workbook_close) close = nullptr;
    decltype(&lxw_workbook_free) freeWorkbook = nullptr;
    decltype(&format_set_bold) setBold = nullptr;
    decltype(&format_set_num_format) setNumberFormat = nullptr;
    decltype(&worksheet_freeze_panes) freezePanes = nullptr;
    decltype(&worksheet_write_number) writeNumber = nullptr;
    decltype(&worksheet_write_string) writeString = nullptr;
    decltype(&lxw_strerror) errorText = nullptr;

    explicit XlsxWriter(const SharedLibrary& library) {
        library.find("workbook_new_opt", newWorkbook);
        library.find("workbook_set_properties", setProperties);
        library.find("workbook_add_worksheet", addWorksheet);
        library.find("workbook_add_format", addFormat);
        library.find("workbook_close", close);
        library.find("lxw_workbook_free", freeWorkbook);
        library.find("format_set_bold", setBold);
        library.find("format_set_num_format", setNumberFormat);
        library.find("worksheet_freeze_panes", freezePanes);
        library.find("worksheet_write_number", writeNumber);
        library.find("worksheet_write_string", writeString);
        library.find("lxw_strerror", errorText);
    }
};

std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

const XlsxWriter& xlsx() {
    static const SharedLibrary library(DOZORIRA_XLSXWRITER_SONAME, "writes xlsx workbooks");
    static const XlsxWriter functions(library);
    return functions;
}

// The library writes only by file name; it is given the WholeFile's name for libraries, so the
// output is still replaced whole or not at all.
class Workbook {
public:
    explicit Workbook(const std::string& path) {
        lxw_workbook_options options{};
        // Rows go to a temporary file as they are written, so that a sheet of many thousand rows
        // costs little memory.
        options.constant_memory = LXW_TRUE;
        // Its temporary files go where the user's other temporary files go, not always to /tmp.
        options.tmpdir = folder_.data();
        workbook_ = xlsx().newWorkbook(path.c_str(), &options);
        if (!workbook_) throw std::bad_alloc();
    }
    ~Workbook() {
        if (workbook_) xlsx().freeWorkbook(workbook_);
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    lxw_workbook* get() const { return workbook_; }

    // Writes the file and frees the workbook, whatever the outcome.
    lxw_error close() {
        lxw_workbook* workbook = workbook_;
        workbook_ = nullptr;
        return xlsx().close(workbook);
    }

private:
    std::string folder_ = temporaryFolder(); // the library may keep the pointer
    lxw_workbook* workbook_ = nullptr;
};

// The library prints its own lines about a failure, naming the temporary file, and the reason
// the failing call gave ("System error = No space left on device"), which later calls may have
// replaced in errno by the time it returns. Its lines are caught while the workbook is written, and
// only that reason is kept.
class CaughtStandardError {
public:
    CaughtStandardError() {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        caught_ = ::memfd_create("xlsx-errors", MFD_CLOEXEC);
        if (saved_ >= 0 && caught_ >= 0) ::dup2(caught_, STDERR_FILENO);
    }
    ~CaughtStandardError() {
        if (caught_ >= 0) ::close(caught_);
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    CaughtStandardError(const CaughtStandardError&) = delete;
    CaughtStandardError& operator=(const CaughtStandardError&) = delete;

    // The system's error number that the library reported last; 0 when it reported none.
    int reportedError() const {
        std::fflush(stderr);
        std::string text(4096, '\0');
        const ssize_t size = caught_ >= 0 ? ::pread(caught_, text.data(), text.size(), 0) : -1;
        text.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
        constexpr std::string_view Marker = "System error = ";
        const std::size_t at = text.rfind(Marker);
        if (at == std::string::npos) return 0;
        const std::string reason =
            text.substr(at + Marker.size(), text.find('\n', at) - at - Marker.size());
        for (int error = 1; error < 256; ++error)
            if (reason == std::strerror(error)) return error;
        return 0;
    }

private:
    int saved_ = -1;
    int caught_ = -1;
};

// The library writes numbers with printf, which follows the C locale; in a process that has set
// the user's locale (as the window's toolkit does), 4.667 would go into the XML as "4,667".
class ClassicNumbers {
public:
    ClassicNumbers() : locale_(::newlocale(LC_ALL_MASK, "C", nullptr)) {
        if (locale_) previous_ = ::uselocale(locale_);
    }
    ~ClassicNumbers() {
        if (!locale_) return;
        ::uselocale(previous_);
        ::freelocale(locale_);
    }
    ClassicNumbers(const ClassicNumbers&) = delete;
    ClassicNumbers& operator=(const ClassicNumbers&) = delete;

private:
    locale_t locale_;
    locale_t previous_ = nullptr;
};

void check(lxw_error error, const files::WholeFile& out) {
    if (error == LXW_NO_ERROR) return;
    throw RunError(ErrorKind::FileError,
                   std::string("cannot compose the output file: ") + xlsx().errorText(error))
        .inFile(out.path());
}

// A sheet holds a fixed number of rows, the header row among them.
void checkRowCount(const ResultTable& table, const files::WholeFile& out) {
    if (table.rowCount() < LXW_ROW_MAX) return;
    throw RunError(ErrorKind::FileError,
                   "the output would hold " + std::to_string(table.rowCount()) +
                       " rows, more than the " + std::to_string(LXW_ROW_MAX - 1) +
                       " an xlsx sheet holds below its header; choose csv or tsv")
        .inFile(out.path());
}

// The library takes a time of 0 for "now", so the first second of 1970 is dated a second later.
std::time_t creationTime(std::optional<std::time_t> timestamp) {
    if (!timestamp) return std::time(nullptr);
    return *timestamp == 0 ? 1 : *timestamp;
}

void writeCell(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column, const Cell& cell,
               lxw_format* decimals, std::string& text, const files::WholeFile& out) {
    if (const auto* subject = std::get_if<std::string_view>(&cell)) {
        text.assign(*subject); // the library wants it NUL-terminated
        check(xlsx().writeString(sheet, row, column, text.c_str(), nullptr), out);
    } else if (const auto* count = std::get_if<long long>(&cell)) {
        check(xlsx().writeNumber(sheet, row, column, static_cast<double>(*count), nullptr), out);
    } else if (const auto* decimal = std::get_if<Thousandths>(&cell)) {
        check(xlsx().writeNumber(sheet, row, column, decimal->toDouble(), decimals), out);
    }
}

void writeSheet(lxw_workbook* workbook, const ResultTable& table, const files::WholeFile& out) {
    lxw_worksheet* sheet = xlsx().addWorksheet(workbook, nullptr);
    lxw_format* header = xlsx().addFormat(workbook);
    lxw_format* decimals = xlsx().addFormat(workbook);
    if (!sheet || !header || !decimals) throw std::bad_alloc();
    xlsx().setBold(header);
    xlsx().setNumberFormat(decimals, "0.000");
    xlsx().freezePanes(sheet, 1, 0);
    lxw_col_t column = 0;
    for (const Column& c : table.columns())
        check(xlsx().writeString(sheet, 0, column++, c.name.c_str(), header), out);
    lxw_row_t row = 0;
    std::string text;
    table.forEachRow([&](std::span<const Cell> cells) {
        ++row;
        for (std::size_t i = 0; i < cells.size(); ++i)
            writeCell(sheet, row, static_cast<lxw_col_t>(i), cells[i], decimals, text, out);
    });
}

// The lines that say what made the workbook, after the data, which readers open by default.
void writeProvenanceSheet(lxw_workbook* workbook, const std::vector<std::string>& lines,
                          const files::WholeFile& out) {
    if (lines.empty()) return;
    lxw_worksheet* sheet = xlsx().addWorksheet(workbook, "Provenance");
    if (!sheet) throw std::bad_alloc();
    lxw_row_t row = 0;
    for (const std::string& line : lines)
        check(xlsx().writeString(sheet, row++, 0, line.c_str(), nullptr), out);
}

} // namespace

void writeXlsx(const ResultTable& table, std::optional<std::time_t> timestamp,
               files::WholeFile& out, const std::vector<std::string>& provenance,
               const std::string& summary) {
    checkRowCount(table, out);
    const CaughtStandardError caught;
    const ClassicNumbers numbers;
    // The workbook as the library writes it, before its texts are shared: in the temporary folder,
    // where the library composes its parts too.
    const files::ScratchFile composed(out.path());
    Workbook workbook(composed.file().path());
    const std::string title = runLabel(table.taskFileCount());
    lxw_doc_properties properties{};
    properties.title = const_cast<char*>(title.c_str()); // the library only reads it
    properties.created = creationTime(timestamp);
    if (!summary.empty()) properties.comments = const_cast<char*>(summary.c_str());
    check(xlsx().setProperties(workbook.get(), &properties), out);
    writeSheet(workbook.get(), table, out);
    writeProvenanceSheet(workbook.get(), provenance, out);
    const lxw_error closed = workbook.close();
    if (closed == LXW_ERROR_CREATING_TMPFILE) {
        const char* variable = std::getenv("TMPDIR");
        const std::string where = variable != nullptr && *variable != '\0'
                                      ? "TMPDIR " + shownName(variable, true)
                                      : std::string("\"/tmp\"");
        files::failOutput(out.path(),
                          "cannot make the xlsx library's temporary files in " + where + " for",
                          caught.reportedError() != 0 ? caught.reportedError() : EIO);
    }
    if (closed != LXW_NO_ERROR) {
        if (const int reason = caught.reportedError(); reason != 0)
            files::failOutput(out.path(), "cannot write", reason);
        check(closed, out);
    }
    shareStrings(composed.file().path(), out.pathForLibrary(), out.path());
    const std::string damaged =
        damagedPart(out.pathForLibrary(), table.rowCount() + 1, provenance.size());
    if (!damaged.empty())
        throw RunError(ErrorKind::FileError,
                       "cannot write the output file: " + damaged +
                           " came out cut short, as the temporary files that the xlsx library "
                           "writes could not be written whole (is TMPDIR, or /tmp, full?)")
            .inFile(out.path());
}

} // namespace dozorira::output
