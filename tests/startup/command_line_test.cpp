#include "startup/command_line.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(SilentCommandLine, TakesTheNameFromTheNinthCharacter) {
    struct Case {
        const char* arguments;
        const char* file; // "" for interactive mode
    };
    const Case cases[] = {
        {"", ""},
        {"-win", ""},
        {"-SILENT MyMod", "C:\\Vantrel\\MyMod.vtl"},
        {"-silent MyMod", "C:\\Vantrel\\MyMod.vtl"},
        {"-Silent my mod", "C:\\Vantrel\\my mod.vtl"},
        {"-SILENT", "C:\\Vantrel\\.vtl"},
        {"-SILENT  MyMod", "C:\\Vantrel\\ MyMod.vtl"},
        {"/x -SILENT MyMod", "C:\\Vantrel\\NT MyMod.vtl"},
        {"-SILENT \"MyMod\"", "C:\\Vantrel\\\"MyMod\".vtl"},
        {"-SILENT MyMod ", "C:\\Vantrel\\MyMod .vtl"},
        {"-SILENTMyMod", "C:\\Vantrel\\yMod.vtl"},
        {"-SILENT \xC3\x89t\xC3\xA9", "C:\\Vantrel\\\xC3\x89t\xC3\xA9.vtl"},
        {"\xC3\xA9\xC3\xA9-SILENT x", "C:\\Vantrel\\T x.vtl"}, // the 9th character, not the 9th byte
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SilentModFileFromCommandLine("C:\\Vantrel", c.arguments), c.file) << c.arguments;
    }
}

} // namespace
} // namespace vantrel
