#include "platform/case_fold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
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

TEST(CaseFold, SortsListingsByTheirKeysThenAsSpelled) {
    const std::vector<std::vector<std::string>> lists = {
        {"b.vtl", "B.vtl", "a", "A", "ab", "aB", "Ab", "AB", "a_", "A_", "a.vtl", "_", "~x", "{y", "z", "Z"},
        // Alike in their first eight characters, or shorter than that.
        {"Mod1.vtl", "mod10.vtl", "MOD100.VTL", "Mod1000.vtl", "Modular.vtl", "modular.vtl", "MODULAR",
         "Modula", "Modular.vtl.bak", "a\x01", "a", "A\x01b", "abcdefgh", "ABCDEFGH", "abcdefghi", "abcdefg"},
        {"b.vtl", "B.vtl", "\xC3\xA9t\xC3\xA9.vtl", "\xC3\x89T\xC3\x89.vtl", "a", "A", "_", "z"},
    };
    for (const auto& list : lists) {
        auto expected = list;
        std::sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
            return std::pair(NameOrderKey(a), a) < std::pair(NameOrderKey(b), b);
        });
        for (int turn = 0; turn < 4; ++turn) {
            auto names = list;
            const auto start = static_cast<std::ptrdiff_t>(turn * 3) % std::ssize(names);
            std::rotate(names.begin(), names.begin() + start, names.end());
            std::reverse(names.begin(), names.begin() + turn);
            SortLikeNtfs(names);
            EXPECT_EQ(names, expected) << "turn " << turn;
        }
    }
}

} // namespace
} // namespace vantrel
