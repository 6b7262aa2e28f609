// The cross-compiled tests of the Windows core, run under Wine by
// run-wine-tests.sh: win32_core_tests CORPUS-FILE [NAME-FILTER]

#include "harness.h"
#include "testfiles.h"

#include "protocol/win32/comdispatch.h"

#include <cstdio>

namespace {
std::string g_corpus;
}

const std::string &lumotest::foldCorpusPath()
{
    return g_corpus;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: win32_core_tests CORPUS-FILE [NAME-FILTER]\n");
        return 2;
    }
    g_corpus = argv[1];
    cad::win32::ComApartment apartment;
    if (!apartment.ok()) {
        std::printf("cannot enter a COM apartment\n0 passed, 1 failed\n");
        return 1;
    }
    return harness::run(argc > 2 ? argv[2] : "");
}
