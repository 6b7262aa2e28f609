// The COM host's tests, cross-compiled and run under Wine by
// run-comhost-tests.sh beside the host in another process:
//   minicad_com_tests PROGID [NAME-FILTER]

#include "comhost_ids.h"
#include "harness.h"

#include "protocol/win32/comdispatch.h"

#include <cstdio>

namespace {
std::wstring g_progId;
}

const std::wstring &comhosttest::progId()
{
    return g_progId;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: minicad_com_tests PROGID [NAME-FILTER]\n");
        return 2;
    }
    for (const char *p = argv[1]; *p; ++p)
        g_progId.push_back(wchar_t(*p)); // ProgIDs are ASCII
    cad::win32::ComApartment apartment;
    if (!apartment.ok()) {
        std::printf("cannot enter a COM apartment\n0 passed, 1 failed\n");
        return 1;
    }
    return harness::run(argc > 2 ? argv[2] : "");
}
