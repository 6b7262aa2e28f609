#pragma once
// A minimal test harness for the cross-compiled tests: named cases, checks
// that report file, line and expression, and the closing
// "N passed, M failed" line.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace harness {

struct Case {
    const char *name;
    std::function<void()> body;
};

inline std::vector<Case> &cases()
{
    static std::vector<Case> all;
    return all;
}

inline int &failures()
{
    static int n = 0;
    return n;
}

struct Register {
    Register(const char *name, std::function<void()> body) { cases().push_back({name, std::move(body)}); }
};

inline void fail(const char *file, int line, const std::string &what)
{
    ++failures();
    std::printf("  FAIL %s:%d: %s\n", file, line, what.c_str());
}

// Runs the cases whose name contains `filter` (all when empty).
inline int run(const std::string &filter = {})
{
    int passed = 0, failed = 0;
    for (const Case &c : cases()) {
        if (!filter.empty() && std::string(c.name).find(filter) == std::string::npos)
            continue;
        const int before = failures();
        try {
            c.body();
        } catch (const std::exception &e) {
            fail(c.name, 0, std::string("unexpected exception: ") + e.what());
        } catch (...) {
            fail(c.name, 0, "unexpected exception");
        }
        const bool ok = failures() == before;
        std::printf("%s %s\n", ok ? "PASS" : "FAIL", c.name);
        std::fflush(stdout);
        (ok ? passed : failed)++;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

} // namespace harness

#define HARNESS_CAT2(a, b) a##b
#define HARNESS_CAT(a, b) HARNESS_CAT2(a, b)
#define TEST_CASE(name)                                                                                   \
    static void HARNESS_CAT(test_, __LINE__)();                                                           \
    static harness::Register HARNESS_CAT(reg_, __LINE__)(name, HARNESS_CAT(test_, __LINE__));             \
    static void HARNESS_CAT(test_, __LINE__)()

#define CHECK(expr)                                                                                       \
    do {                                                                                                  \
        if (!(expr))                                                                                      \
            harness::fail(__FILE__, __LINE__, #expr);                                                     \
    } while (0)

#define CHECK_EQ(a, b)                                                                                    \
    do {                                                                                                  \
        if (!((a) == (b)))                                                                                \
            harness::fail(__FILE__, __LINE__, #a " == " #b);                                              \
    } while (0)

// The statement must throw cad::win32::ComError; `var` names it in `then`.
#define CHECK_THROWS_COM(stmt, var, then)                                                                 \
    do {                                                                                                  \
        bool thrown_ = false;                                                                             \
        try {                                                                                             \
            stmt;                                                                                         \
        } catch (const cad::win32::ComError &var) {                                                       \
            thrown_ = true;                                                                               \
            then;                                                                                         \
        }                                                                                                 \
        if (!thrown_)                                                                                     \
            harness::fail(__FILE__, __LINE__, "no ComError from " #stmt);                                 \
    } while (0)
