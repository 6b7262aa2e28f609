#pragma once
// The main of a suite that runs on every road. Built alone, a suite is a
// QtTest executable of its own; built into a road's runner (LUMO_ONE_RUNNER,
// where one executable links every suite because linking is slow there), it
// registers itself and the runner runs the suites in turn.

#include <QTest>

#include <functional>

namespace testing {

using SuiteRun = std::function<int(int argc, char **argv)>;
// Returns true, for a static initialiser.
bool registerSuite(const char *name, SuiteRun run);

} // namespace testing

#ifdef LUMO_ONE_RUNNER
#define LUMO_SUITE_MAIN(Class)                                                                                   \
    [[maybe_unused]] static const bool lumoSuiteRegistered_##Class = testing::registerSuite(#Class, [](int argc, char **argv) { \
        Class suite;                                                                                           \
        return QTest::qExec(&suite, argc, argv);                                                               \
    });
#define LUMO_GUILESS_SUITE_MAIN(Class) LUMO_SUITE_MAIN(Class)
#else
#define LUMO_SUITE_MAIN(Class) QTEST_MAIN(Class)
#define LUMO_GUILESS_SUITE_MAIN(Class) QTEST_GUILESS_MAIN(Class)
#endif
