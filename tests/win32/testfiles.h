#pragma once
// Files the runner hands to the test executable.

#include <string>

namespace lumotest {

// The width-folding corpus with the portable results (first argument).
const std::string &foldCorpusPath();

} // namespace lumotest
