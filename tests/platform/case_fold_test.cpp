#include "platform/case_fold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vantrel {
namespace {

TEST(CaseFold, ComparesNamesWithoutRegardToCase) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        {"Generals", "GENERALS", true},
        {"data\\ini", "DATA\\INI", true},
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", true},     // été / ÉTÉ
        {"\xC5\x93uvre", "\xC5\x92UVRE", true},              // œuvre / ŒUVRE
        {"\xD0\xBC\xD0\xBE\xD0\xB4", "\xD0\x9C\xD0\x9E\xD0\x94", true}, // мод / МОД
        {"\xC3\xBF", "\xC5\xB8", true},                       // ÿ / Ÿ
        {"Maps", "Map", false},
        {"a", "b", false},
        {"\xC3\xB7", "\xC3\x97", false},                      // ÷ is no letter
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EqualsIgnoringCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    }
}

TEST(CaseFold, MatchesWildcardsLikeWindows) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"*.vtl", "Example.vtl", true},   {"*.vtl", "EXAMPLE.VTL", true}, {"*.vtl", ".vtl", true},
        {"*.vtl", "My.Mod.vtl", true},    {"*.vtl", "Example.vtlx", false}, {"*.vtl", "Example.vt", false},
        {"*.vtl", "vtl", false},          {"a?c", "abc", true},           {"a?c", "ac", false},
        {"*", "", true},                  {"*.BIG", "mod.big", true},     {"**x", "abx", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " ~ " << c.name;
    }
}

TEST(CaseFold, OrdersNamesAsNtfsListsThem) {
    std::vector<std::string> names = {"b.vtl", "_x.vtl", "A.vtl", "a_b.vtl", "aB.vtl", "Zeta.vtl", "\xC3\xA9t\xC3\xA9.vtl"};
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NameOrderKey(a) < NameOrderKey(b); });
    // Upper-cased, '_' (0x5F) sorts after the letters and 'É' (0xC9) after everything ASCII.
    const std::vector<std::string> expected = {"A.vtl", "aB.vtl", "a_b.vtl", "b.vtl", "Zeta.vtl", "_x.vtl",
                                               "\xC3\xA9t\xC3\xA9.vtl"};
    EXPECT_EQ(names, expected);
}

} // namespace
} // namespace vantrel
