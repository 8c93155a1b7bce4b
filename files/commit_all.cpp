#include "commit_all.h"

#include "error.h"

namespace dozorira::files {
namespace {

std::string listed(const std::vector<WholeFile*>& outputs, std::size_t from, std::size_t to) {
    std::string names;
    for (std::size_t i = from; i < to; ++i) {
        if (i > from) names += i + 1 == to ? " and " : ", ";
        names += shownName(outputs[i]->path(), true);
    }
    return names;
}

} // namespace

void commitAll(const std::vector<WholeFile*>& outputs) {
    for (WholeFile* output : outputs)
        output->prepare();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        try {
            outputs[i]->commit();
        } catch (const RunError& e) {
            if (i == 0) throw;
            const bool failedChanged = e.outputChanged();
            const std::size_t newUpTo = failedChanged ? i + 1 : i;
            std::string holds = "; " + listed(outputs, 0, newUpTo) +
                                (newUpTo == 1 ? " holds" : " hold") + " the new study";
            if (newUpTo < outputs.size())
                holds += ", " + listed(outputs, newUpTo, outputs.size()) +
                         (outputs.size() - newUpTo == 1 ? " holds" : " hold") + " the earlier one";
            throw RunError(e.kind(), e.problem() + holds).inFile(e.file()).afterOutputChanged();
        }
    }
}

} // namespace dozorira::files
