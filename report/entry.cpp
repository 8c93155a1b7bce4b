// The report library's one entry point, which the batch command looks up by name.
#include "document.h"
#include "pages.h"
#include "report_input.h"

#include <cstring>
#include <exception>
#include <type_traits>

namespace {

void copyMessage(const char* text, char* message, std::size_t size) {
    if (size == 0) return;
    std::strncpy(message, text, size - 1);
    message[size - 1] = '\0';
}

} // namespace

extern "C" __attribute__((visibility("default"))) bool
DOZORIRA_REPORT_ENTRY(const dozorira::report::ReportInput* input, dozorira::report::ByteSink sink,
                      void* context, char* message, std::size_t messageSize) {
    using namespace dozorira::report;
    try {
        Document document(sink, context, input->time, input->program);
        drawReport(document, *input);
        const std::string failure = document.finish();
        if (failure.empty()) return true;
        copyMessage(failure.c_str(), message, messageSize);
    } catch (const std::exception& e) {
        copyMessage(e.what(), message, messageSize);
    }
    return false;
}

static_assert(std::is_same_v<decltype(DOZORIRA_REPORT_ENTRY), dozorira::report::WriteReport>);
