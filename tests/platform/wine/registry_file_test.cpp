#include "platform/wine/registry_file.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

const std::string kHeader = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";

RegistryString Find(const std::string& body, std::string_view key = "Software\\EA\\Game",
                    std::string_view value = "InstallPath") {
    return FindRegistryString(kHeader + body, key, value);
}

TEST(RegistryFile, UnescapesStringValues) {
    struct Case {
        std::string stored;
        std::string text;
    };
    const Case cases[] = {
        {R"("C:\\Program Files\\EA Games\\Generals\\")", "C:\\Program Files\\EA Games\\Generals\\"},
        {R"("say \"hi\"")", "say \"hi\""},
        {R"("a\tb\nc\rd")", "a\tb\nc\rd"},
        {R"("G\x00e9n\x00e9raux")", "G\xC3\xA9n\xC3\xA9raux"},       // four digits before a hex letter
        {R"("Caf\xe9")", "Caf\xC3\xA9"},                             // short form at the end
        {R"("\x4e2d\x6587")", "\xE4\xB8\xAD\xE6\x96\x87"},
        {R"("\xd83d\xde00")", "\xF0\x9F\x98\x80"},                   // surrogate pair
        {R"("\xd83d!")", "\xEF\xBF\xBD!"},                           // unpaired surrogate
        {R"("\101\102C")", "ABC"},                                   // octal
        {R"("a\0b")", std::string("a\0b", 3)},
        {R"("")", ""},
        {R"(str(2):"%ProgramFiles%\\Game\\")", "%ProgramFiles%\\Game\\"},
        {"hex(2):43,00,3a,00,5c,00,00,00", "C:\\"},
        {"hex(1):43,00,3a,00,\\\n  5c,00,00,00", "C:\\"},
    };
    for (const auto& c : cases) {
        const auto found = Find("[Software\\\\EA\\\\Game] 1700000000\n#time=1d9\n\"InstallPath\"=" + c.stored + "\n");
        EXPECT_EQ(found.lookup, RegistryLookup::Found) << c.stored;
        EXPECT_EQ(found.text, c.text) << c.stored;
    }
}

TEST(RegistryFile, TellsMissingKeysFromMissingValues) {
    const std::string body = "[Software\\\\EA\\\\Game] 1700000000\n"
                             "\"Other\"=\"x\"\n"
                             "\"Version\"=dword:00010000\n"
                             "@=\"default\"\n\n"
                             "[Software\\\\EA\\\\Game\\\\Sub] 1700000000\n"
                             "\"InstallPath\"=\"sub\"\n";
    EXPECT_EQ(Find(body).lookup, RegistryLookup::ValueMissing);
    EXPECT_EQ(Find(body, "Software\\EA\\Gam").lookup, RegistryLookup::KeyMissing);
    EXPECT_EQ(Find(body, "Software\\EA\\Game", "Version").lookup, RegistryLookup::ValueMissing) << "a number is no string";
    EXPECT_EQ(Find(body, "Software\\EA\\Game", "").text, "default");
    EXPECT_EQ(Find(body, "Software\\EA\\Game\\Sub").text, "sub");
}

TEST(RegistryFile, ComparesKeyAndValueNamesWithoutRegardToCase) {
    const std::string body = "[Software\\\\Electronic Arts\\\\EA Games\\\\Generals] 1700000000\n"
                             "\"installpath\"=\"C:\\\\G\\\\\"\n";
    const auto found = Find(body, "SOFTWARE\\Electronic Arts\\EA GAMES\\Generals", "InstallPath");
    EXPECT_EQ(found.lookup, RegistryLookup::Found);
    EXPECT_EQ(found.text, "C:\\G\\");
}

TEST(RegistryFile, ReadsEscapedKeyNames) {
    const std::string body = "[Software\\\\A\\]B\\\\C] 1700000000\n\"InstallPath\"=\"x\"\n";
    EXPECT_EQ(Find(body, "Software\\A]B\\C").text, "x");
}

TEST(RegistryFile, SurvivesBrokenLines) {
    for (const std::string body : {"[Software\\\\EA\\\\Game\n\"InstallPath\"=\"x\"\n",
                                   "[Software\\\\EA\\\\Game] 1\n\"InstallPath\"=\"x\n",
                                   "[Software\\\\EA\\\\Game] 1\n\"InstallPath\"=hex(2):4\n",
                                   "[Software\\\\EA\\\\Game] 1\n\"InstallPath\"=str(2)\n",
                                   "[Software\\\\EA\\\\Game] 1\n\"InstallPath\"=\"x\\"}) {
        EXPECT_NE(Find(body).lookup, RegistryLookup::Found) << body;
    }
}

TEST(RegistryFile, RecognisesHeaderAndArchitecture) {
    EXPECT_TRUE(IsWineRegistryFile(kHeader));
    EXPECT_TRUE(IsWineRegistryFile("WINE REGISTRY Version 2\r\n"));
    EXPECT_FALSE(IsWineRegistryFile("REGEDIT4\n"));
    EXPECT_FALSE(IsWineRegistryFile(""));
    EXPECT_TRUE(IsWin64Registry(kHeader));
    EXPECT_FALSE(IsWin64Registry("WINE REGISTRY Version 2\n#arch=win32\n"));
    EXPECT_FALSE(IsWin64Registry("WINE REGISTRY Version 2\n[Software] 1\n#arch=win64\n"));
}

} // namespace
} // namespace vantrel
