// LCMapStringW width folding against the portable mapping, over the corpus
// that the Linux side wrote with the portable results.

#include "harness.h"
#include "testfiles.h"

#include "cad/win32/widthfold.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

using cad::win32::foldWidth;

namespace {

std::u16string parseUnits(const std::string &field)
{
    std::u16string out;
    std::istringstream in(field);
    std::string hex;
    while (in >> hex)
        out.push_back(char16_t(std::stoul(hex, nullptr, 16)));
    return out;
}

std::string show(const std::u16string &s)
{
    std::string out;
    char buf[8];
    for (char16_t c : s) {
        std::snprintf(buf, sizeof buf, "%s%04X", out.empty() ? "" : " ", unsigned(c));
        out += buf;
    }
    return out.empty() ? "(empty)" : out;
}

// Where the system's folding and the portable one part, on purpose; each
// is documented for Windows users. Keys are "direction case-name".
const std::set<std::string> &knownDifferences()
{
    static const std::set<std::string> known = {
        // LCMapStringW leaves the backslash and U+FF3C alone.
        "zen ascii U+005C",
        "han fullwidth U+FF3C",
        // ヸ ヹ ヾ have no half-width letter: LCMapStringW splits them into the
        // full-width base and a half-width mark, the portable mapping keeps them.
        "han katakana U+30F8",
        "han katakana U+30F9",
        "han katakana U+30FE",
    };
    return known;
}

// A sound mark that does not join its letter: LCMapStringW gives the
// combining marks U+3099 / U+309A, the portable mapping the spacing ones
// U+309B / U+309C, which fonts show as a mark of their own.
bool onlySoundMarksDiffer(std::u16string got, const std::u16string &want)
{
    for (char16_t &c : got) {
        if (c == 0x3099 || c == 0x309A)
            c = char16_t(c + 2);
    }
    return got == want;
}

} // namespace

TEST_CASE("folding: LCMapStringW agrees with the portable mapping, or differs as documented")
{
    std::ifstream in(lumotest::foldCorpusPath());
    CHECK(in.good());
    if (!in.good())
        return;
    std::string line;
    int cases = 0, known = 0, marks = 0;
    std::set<std::string> seen;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::string field;
        std::istringstream split(line);
        while (std::getline(split, field, '\t'))
            fields.push_back(field);
        fields.resize(4);
        const std::u16string input = parseUnits(fields[1]);
        const std::u16string expected[2] = {parseUnits(fields[2]), parseUnits(fields[3])};
        for (int toZen = 1; toZen >= 0; --toZen) {
            const std::u16string got = foldWidth(input, toZen == 1);
            const std::string key = std::string(toZen ? "zen " : "han ") + fields[0];
            const std::u16string &want = expected[toZen ? 0 : 1];
            ++cases;
            if (got == want)
                continue;
            seen.insert(key);
            if (onlySoundMarksDiffer(got, want)) {
                ++marks;
                continue;
            }
            if (knownDifferences().count(key)) {
                ++known;
                continue;
            }
            harness::fail(__FILE__, __LINE__,
                          key + ": input " + show(input) + ", portable " + show(want) + ", LCMapStringW " + show(got));
        }
    }
    for (const std::string &k : knownDifferences()) {
        if (!seen.count(k))
            harness::fail(__FILE__, __LINE__, "listed difference no longer differs: " + k);
    }
    std::printf("  folding: %d comparisons, %d listed platform differences, %d sound-mark forms\n", cases, known, marks);
    CHECK(cases > 600);
}

TEST_CASE("folding: length may change, empty stays empty")
{
    CHECK(foldWidth(std::wstring(L"ｶﾞ"), true) == L"ガ");
    CHECK(foldWidth(std::wstring(L"ガ"), false) == L"ｶﾞ");
    CHECK(foldWidth(std::wstring(), true).empty());
    CHECK(foldWidth(std::wstring(L"AB 1"), true) == L"ＡＢ　１");
}
