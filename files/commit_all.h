#pragma once

#include "whole_file.h"

#include <vector>

namespace dozorira::files {

// Puts the new files of a run's outputs in their places, in order, after preparing every one of
// them: a failure before the first output changes leaves every earlier output as it was; one
// after it is marked afterOutputChanged() and its message says which outputs hold the new
// study and which the earlier one.
void commitAll(const std::vector<WholeFile*>& outputs);

} // namespace dozorira::files
