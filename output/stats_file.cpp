#include "stats_file.h"

#include "error.h"
#include "shared_library.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <new>
#include <optional>
#include <readstat.h>
#include <string>
#include <vector>

namespace dozorira::output {
namespace {

constexpr std::size_t SpssFileLabelBytes = 64; // Stata allows 80
constexpr std::size_t StataStringBytes = 2045; // the widest str# of format 118; SPSS allows more
constexpr std::size_t NameBytes = 32;          // Stata's limit; SPSS allows 64
constexpr std::uint8_t StataFormat = 118;

// The functions of ReadStat that the writers call. The library is loaded by the first run that
// writes an SPSS or Stata file, so that every other run starts without it.
struct ReadStat {
    decltype(&readstat_add_note) add_note = nullptr;
    decltype(&readstat_add_variable) add_variable = nullptr;
    decltype(&readstat_begin_row) begin_row = nullptr;
    decltype(&readstat_begin_writing_dta) begin_writing_dta = nullptr;
    decltype(&readstat_begin_writing_sav) begin_writing_sav = nullptr;
    decltype(&readstat_end_row) end_row = nullptr;
    decltype(&readstat_end_writing) end_writing = nullptr;
    decltype(&readstat_error_message) error_message = nullptr;
    decltype(&readstat_insert_double_value) insert_double_value = nullptr;
    decltype(&readstat_insert_int32_value) insert_int32_value = nullptr;
    decltype(&readstat_insert_missing_value) insert_missing_value = nullptr;
    decltype(&readstat_insert_string_value) insert_string_value = nullptr;
    decltype(&readstat_set_data_writer) set_data_writer = nullptr;
    decltype(&readstat_variable_set_format) variable_set_format = nullptr;
    decltype(&readstat_variable_set_label) variable_set_label = nullptr;
    decltype(&readstat_variable_set_measure) variable_set_measure = nullptr;
    decltype(&readstat_writer_free) writer_free = nullptr;
    decltype(&readstat_writer_init) writer_init = nullptr;
    decltype(&readstat_writer_set_file_format_version) writer_set_file_format_version = nullptr;
    decltype(&readstat_writer_set_file_label) writer_set_file_label = nullptr;
    decltype(&readstat_writer_set_file_timestamp) writer_set_file_timestamp = nullptr;
    decltype(&readstat_parser_init) parser_init = nullptr;
    decltype(&readstat_parser_free) parser_free = nullptr;
    decltype(&readstat_set_note_handler) set_note_handler = nullptr;
    decltype(&readstat_set_row_limit) set_row_limit = nullptr;
    decltype(&readstat_parse_sav) parse_sav = nullptr;
    decltype(&readstat_parse_dta) parse_dta = nullptr;

    explicit ReadStat(const SharedLibrary& library) {
        library.find("readstat_add_note", add_note);
        library.find("readstat_add_variable", add_variable);
        library.find("readstat_begin_row", begin_row);
        library.find("readstat_begin_writing_dta", begin_writing_dta);
        library.find("readstat_begin_writing_sav", begin_writing_sav);
        library.find("readstat_end_row", end_row);
        library.find("readstat_end_writing", end_writing);
        library.find("readstat_error_message", error_message);
        library.find("readstat_insert_double_value", insert_double_value);
        library.find("readstat_insert_int32_value", insert_int32_value);
        library.find("readstat_insert_missing_value", insert_missing_value);
        library.find("readstat_insert_string_value", insert_string_value);
        library.find("readstat_set_data_writer", set_data_writer);
        library.find("readstat_variable_set_format", variable_set_format);
        library.find("readstat_variable_set_label", variable_set_label);
        library.find("readstat_variable_set_measure", variable_set_measure);
        library.find("readstat_writer_free", writer_free);
        library.find("readstat_writer_init", writer_init);
        library.find("readstat_writer_set_file_format_version", writer_set_file_format_version);
        library.find("readstat_writer_set_file_label", writer_set_file_label);
        library.find("readstat_writer_set_file_timestamp", writer_set_file_timestamp);
        library.find("readstat_parser_init", parser_init);
        library.find("readstat_parser_free", parser_free);
        library.find("readstat_set_note_handler", set_note_handler);
        library.find("readstat_set_row_limit", set_row_limit);
        library.find("readstat_parse_sav", parse_sav);
        library.find("readstat_parse_dta", parse_dta);
    }
};

const ReadStat& readStat() {
    static const SharedLibrary library(DOZORIRA_READSTAT_SONAME,
                                       "writes and reads SPSS and Stata files");
    static const ReadStat functions(library);
    return functions;
}

using Writer = std::unique_ptr<readstat_writer_t, decltype(&readstat_writer_free)>;

// Only failures to write reach the disk's reason; any other is the library refusing what it was
// given, which no task file can cause.
void check(readstat_error_t error, const files::WholeFile& out) {
    if (error == READSTAT_OK) return;
    out.throwIfFailed();
    throw RunError(ErrorKind::FileError, std::string("cannot compose the output file: ") +
                                             readStat().error_message(error))
        .inFile(out.path());
}

ssize_t writeBytes(const void* data, std::size_t size, void* context) {
    return static_cast<files::WholeFile*>(context)->write(data, size) ? static_cast<ssize_t>(size)
                                                                      : -1;
}

// The library checks names only when the first row is written, so a file of no rows would slip
// through: names are checked here, against the rules both packages share.
void checkName(const std::string& name) {
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    const auto isNameChar = [&](char c) {
        return isLetter(c) || (c >= '0' && c <= '9') || c == '_';
    };
    bool valid = !name.empty() && name.size() <= NameBytes && isLetter(name[0]);
    for (char c : name)
        valid = valid && isNameChar(c);
    if (!valid)
        throw RunError(ErrorKind::InvalidArgument, "the variable name " + dozorira::quoted(name) +
                                                       " is not one SPSS and Stata accept");
}

// The library cuts a value longer than its variable's width without a word, so the width is that
// of the longest text of the column.
std::size_t textWidth(const ResultTable& table, const Column& column) {
    const std::size_t width = std::max<std::size_t>(table.textBytes(column), 1);
    if (width > StataStringBytes)
        throw RunError(ErrorKind::InvalidArgument, "a text of " + std::to_string(width) +
                                                       " bytes in the column " + column.name +
                                                       " is longer than a Stata string can hold");
    return width;
}

const char* displayFormat(ColumnKind kind, Package package) {
    const bool spss = package == Package::Spss;
    // Three decimals need nine places to show the largest count, 32767.000.
    return kind == ColumnKind::Count ? (spss ? "F8.0" : "%8.0f") : (spss ? "F9.3" : "%9.3f");
}

std::vector<readstat_variable_t*> addVariables(readstat_writer_t* writer, const ResultTable& table,
                                               Package package) {
    std::vector<readstat_variable_t*> variables;
    for (const Column& column : table.columns()) {
        checkName(column.name);
        readstat_variable_t* variable = nullptr;
        if (column.kind == ColumnKind::Text) {
            variable = readStat().add_variable(writer, column.name.c_str(), READSTAT_TYPE_STRING,
                                               textWidth(table, column));
            readStat().variable_set_measure(variable, READSTAT_MEASURE_NOMINAL);
        } else {
            const bool count = column.kind == ColumnKind::Count;
            variable = readStat().add_variable(
                writer, column.name.c_str(), count ? READSTAT_TYPE_INT32 : READSTAT_TYPE_DOUBLE, 0);
            readStat().variable_set_format(variable, displayFormat(column.kind, package));
            readStat().variable_set_measure(variable, READSTAT_MEASURE_SCALE);
        }
        readStat().variable_set_label(variable, column.label.c_str());
        variables.push_back(variable);
    }
    return variables;
}

std::string fileLabel(std::size_t taskFiles) {
    std::string label = runLabel(taskFiles);
    if (label.size() > SpssFileLabelBytes) label.resize(SpssFileLabelBytes);
    return label;
}

// The library shows the time it is given as local time. Shown in UTC, a fixed time gives the same
// bytes in every time zone; no local time can stand in for it, as a UTC time in the hour a local
// clock skips has none, so the process's time zone is UTC while the file is written.
class TimeZoneUtc {
public:
    TimeZoneUtc() {
        if (const char* zone = std::getenv("TZ")) saved_ = zone;
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
    }
    ~TimeZoneUtc() {
        if (saved_)
            ::setenv("TZ", saved_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    TimeZoneUtc(const TimeZoneUtc&) = delete;
    TimeZoneUtc& operator=(const TimeZoneUtc&) = delete;

private:
    std::optional<std::string> saved_;
};

void begin(readstat_writer_t* writer, const ResultTable& table, Package package,
           std::optional<std::time_t> timestamp, const std::vector<std::string>& notes,
           files::WholeFile& out) {
    for (const std::string& note : notes)
        readStat().add_note(writer, note.c_str());
    check(readStat().set_data_writer(writer, writeBytes), out);
    check(readStat().writer_set_file_label(writer, fileLabel(table.taskFileCount()).c_str()), out);
    check(readStat().writer_set_file_timestamp(writer, timestamp.value_or(std::time(nullptr))),
          out);
    // The row count goes into the header, so it must be known before anything is written.
    const auto rows = static_cast<long>(table.rowCount());
    if (package == Package::Spss) {
        check(readStat().begin_writing_sav(writer, &out, rows), out);
    } else {
        check(readStat().writer_set_file_format_version(writer, StataFormat), out);
        check(readStat().begin_writing_dta(writer, &out, rows), out);
    }
}

void insertCell(readstat_writer_t* writer, const readstat_variable_t* variable, const Cell& cell,
                std::string& text, const files::WholeFile& out) {
    if (const auto* subject = std::get_if<std::string_view>(&cell)) {
        text.assign(*subject); // the library wants it NUL-terminated
        check(readStat().insert_string_value(writer, variable, text.c_str()), out);
    } else if (const auto* count = std::get_if<long long>(&cell)) {
        check(readStat().insert_int32_value(writer, variable, static_cast<std::int32_t>(*count)),
              out);
    } else if (const auto* decimal = std::get_if<Thousandths>(&cell)) {
        check(readStat().insert_double_value(writer, variable, decimal->toDouble()), out);
    } else {
        // Never a NaN: the library would store it as a number, not as the package's missing value.
        check(readStat().insert_missing_value(writer, variable), out);
    }
}

} // namespace

void writeStatsFile(const ResultTable& table, Package package, std::optional<std::time_t> timestamp,
                    files::WholeFile& out, const std::vector<std::string>& notes) {
    std::optional<TimeZoneUtc> utc;
    if (timestamp) utc.emplace();
    const Writer writer(readStat().writer_init(), readStat().writer_free);
    if (!writer) throw std::bad_alloc();
    const std::vector<readstat_variable_t*> variables = addVariables(writer.get(), table, package);
    begin(writer.get(), table, package, timestamp, notes, out);
    std::string text;
    table.forEachRow([&](std::span<const Cell> cells) {
        check(readStat().begin_row(writer.get()), out);
        for (std::size_t i = 0; i < cells.size(); ++i)
            insertCell(writer.get(), variables[i], cells[i], text, out);
        check(readStat().end_row(writer.get()), out);
    });
    check(readStat().end_writing(writer.get()), out);
}

std::vector<std::string> notesOf(const std::string& path, Package package) {
    using Parser = std::unique_ptr<readstat_parser_t, decltype(&readstat_parser_free)>;
    const Parser parser(readStat().parser_init(), readStat().parser_free);
    if (!parser) throw std::bad_alloc();
    std::vector<std::string> notes;
    readStat().set_note_handler(parser.get(), [](int, const char* note, void* context) {
        static_cast<std::vector<std::string>*>(context)->emplace_back(note);
        return static_cast<int>(READSTAT_HANDLER_OK);
    });
    // The notes come before the rows, of which one is read to reach them.
    readStat().set_row_limit(parser.get(), 1);
    const readstat_error_t error = package == Package::Spss
                                       ? readStat().parse_sav(parser.get(), path.c_str(), &notes)
                                       : readStat().parse_dta(parser.get(), path.c_str(), &notes);
    if (error != READSTAT_OK)
        throw RunError(ErrorKind::FileError,
                       std::string("cannot read the file: ") + readStat().error_message(error))
            .inFile(path);
    return notes;
}

} // namespace dozorira::output
