#pragma once

#include "document.h"
#include "report_input.h"

namespace dozorira::report {

// The pages of a study report: the study and its clusters; every participant on a plot; who to
// look at; and what --check says.
void drawReport(Document& document, const ReportInput& input);

} // namespace dozorira::report
