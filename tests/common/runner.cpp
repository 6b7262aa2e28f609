// One executable for every suite of a road: runs each registered suite with
// the command line's options and fails when any of them failed.

#include "common/roads.h"
#include "common/testmain.h"

#include <QApplication>

#include <cstdio>
#include <utility>
#include <vector>

namespace testing {

namespace {

std::vector<std::pair<const char *, SuiteRun>> &suites()
{
    static std::vector<std::pair<const char *, SuiteRun>> list;
    return list;
}

} // namespace

bool registerSuite(const char *name, SuiteRun run)
{
    suites().emplace_back(name, std::move(run));
    return true;
}

} // namespace testing

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    int failed = 0;
    QStringList failures;
    for (const auto &[name, run] : testing::suites()) {
        if (run(argc, argv) != 0) {
            ++failed;
            failures << QString::fromLatin1(name);
        }
    }
    std::printf("%s road: %d of %d suites failed%s%s\n", qPrintable(testing::roadName(testing::currentRoad())), failed,
                int(testing::suites().size()), failed ? ": " : "", qPrintable(failures.join(QStringLiteral(", "))));
    return failed ? 1 : 0;
}
