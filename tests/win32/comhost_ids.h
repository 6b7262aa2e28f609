#pragma once
// What the COM host's tests are given by their runner.

#include <string>

namespace comhosttest {

// The ProgID the host under test serves; its testing object is "<ProgID>.Testing".
const std::wstring &progId();

} // namespace comhosttest
