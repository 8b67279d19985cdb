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
                             "\"Note\"=\"see [Software\\\\EA\\\\Gam] 1\"\n"
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
    struct Case {
        std::string headers; // each followed by its own InstallPath, the line's text after the header
        std::string key;
        std::string text;    // "" when the key is not found
    };
    std::string many;
    for (int i = 0; i < 2000; ++i) {
        many += "[Software\\\\Classes\\\\CLSID\\\\{" + std::to_string(i) + "}] 1\n";
    }
    const Case cases[] = {
        {"[Software\\\\A\\]B\\\\C] 1700000000\n", "Software\\A]B\\C", "[Software\\\\A\\]B\\\\C] 1700000000"},
        // Escapes that stand for plain letters or for the backslash between names.
        {"[Software\\\\\\x0045A\\\\Game] 1\n", "Software\\EA\\Game", "[Software\\\\\\x0045A\\\\Game] 1"},
        {"[Software\\x005cEA\\\\Game] 1\n", "Software\\EA\\Game", "[Software\\x005cEA\\\\Game] 1"},
        {"[Software\\134EA\\134Game] 1\n", "Software\\EA\\Game", "[Software\\134EA\\134Game] 1"},
        {"[Software\\\\EA\\\\Ga\\me] 1\n", "Software\\EA\\Game", "[Software\\\\EA\\\\Ga\\me] 1"},
        // A doubled backslash before an x is no hex escape, as in Wine's "Charset\\x-ansi".
        {"[Software\\\\EA\\\\x45] 1\n", "Software\\EA\\x45", "[Software\\\\EA\\\\x45] 1"},
        {"[Software\\\\EA\\\\x45] 1\n", "Software\\EA\\E", ""},
        // Names outside ASCII, escaped as Wine writes them or raw, in any case.
        {"[Software\\\\Caf\\xe9\\\\Game] 1\n", "SOFTWARE\\CAF\xC3\x89\\game", "[Software\\\\Caf\\xe9\\\\Game] 1"},
        {"[Software\\\\Caf\xC3\xA9\\\\Game] 1\n", "Software\\Caf\xC3\xA9\\Game", "[Software\\\\Caf\xC3\xA9\\\\Game] 1"},
        {"[Software\\\\Caf\xC3\xA9\\\\Game] 1\n", "Software\\Cafe\\Game", ""},
        {"[Software\\\\EA\\\\Gam\xC3\xA9] 1\n", "Software\\EA\\Game", ""},
        // Keys whose names begin with the wanted one's, or it with theirs, do not count.
        {"[Software\\\\EA\\\\Games] 1\n[Software\\\\EA\\\\Game\\\\Sub] 2\n[Software\\\\EA\\\\Gam] 3\n"
         "[Software\\\\EA] 4\n[software\\\\ea\\\\GAME] 5\n",
         "Software\\EA\\Game", "[software\\\\ea\\\\GAME] 5"},
        {"[Software\\\\EA\\\\Game] 1\n[SOFTWARE\\\\EA\\\\GAME] 2\n", "Software\\EA\\Game", "[Software\\\\EA\\\\Game] 1"},
        {many + "[Software\\\\Classes\\\\CLSID\\\\{7}x] 1\n", "Software\\Classes\\CLSID\\{7}x",
         "[Software\\\\Classes\\\\CLSID\\\\{7}x] 1"},
        {many, "Software\\Classes\\CLSID\\{1999}", "[Software\\\\Classes\\\\CLSID\\\\{1999}] 1"},
        // What follows the closing bracket is no part of the name; a header without one names nothing.
        {"[Software\\\\EA\\\\Game]\n", "Software\\EA\\Game", "[Software\\\\EA\\\\Game]"},
        {"[Software\\\\EA\\\\Game]] 1\n", "Software\\EA\\Game", "[Software\\\\EA\\\\Game]] 1"},
        {"[Software\\\\EA\\\\Game\n[Software\\\\EA\\\\Game\r\n[Software\\\\EA\\\\Game\\\n"
         "[Software\\\\EA\\\\Game] 2\r\n",
         "Software\\EA\\Game", "[Software\\\\EA\\\\Game] 2"},
        {"[Software\\\\EA\\\\Game\r] 1\n", "Software\\EA\\Game\r", "[Software\\\\EA\\\\Game\r] 1"},
        // Keys at the top of the tree.
        {"[Software\\\\EA] 1\n[Game] 2\n", "GAME", "[Game] 2"},
        {"[] 1\n[Game] 2\n", "", "[] 1"},
    };
    for (const auto& c : cases) {
        // Each header's value is the header line itself, so the answer shows which key was found.
        std::string body;
        for (std::size_t pos = 0; pos < c.headers.size();) {
            std::size_t end = c.headers.find('\n', pos);
            std::string header = c.headers.substr(pos, end - pos);
            pos = end + 1;
            std::string shown = header;
            if (!shown.empty() && shown.back() == '\r') {
                shown.pop_back();
            }
            std::string escaped;
            for (const char ch : shown) {
                escaped += ch == '\\' || ch == '"' ? std::string("\\") + ch : std::string(1, ch);
            }
            body += header + "\n\"InstallPath\"=\"" + escaped + "\"\n\n";
        }
        const auto found = Find(body, c.key);
        EXPECT_EQ(found.lookup, c.text.empty() ? RegistryLookup::KeyMissing : RegistryLookup::Found) << c.headers.substr(0, 200) << " / " << c.key;
        EXPECT_EQ(found.text, c.text) << c.key;
    }
}

TEST(RegistryFile, SurvivesBrokenLines) {
    for (const std::string body : {"[Software\\\\EA\\\\Game\n\"InstallPath\"=\"x\"\n",
                                   "[Software\\\\EA\\\\Game] 1\n\"InstallPath\"=\"x\n",
                                   "[Software\\\\EA\\\\Game] 1\n\"InstallPath\"=hex(2):4\n",
                                   "[Software\\\\EA\\\\Game] 1\n\"InstallPath\"=str(2)\n",
                                   "[Software\\\\EA\\\\Game] 1\n\"InstallPath\"=\"x\\",
                                   "\"InstallPath\"=\"x\"\n[Software\\\\EA\\\\Gam",
                                   "\"InstallPath\"=\"x\"\n[Software\\\\EA\\\\Game",
                                   "\"InstallPath\"=\"x\"\n[Software\\\\EA\\\\Game\\"}) {
        EXPECT_NE(Find(body).lookup, RegistryLookup::Found) << body;
    }
    // Only the wanted key's values are read: elsewhere a line opening with a bracket is a header, even
    // where it would continue a value.
    const std::string continued = "[Software\\\\EA\\\\Other] 1\n\"InstallPath\"=hex(2):41,00,\\\n"
                                  "[Software\\\\EA\\\\Game] 1\n\"InstallPath\"=\"x\"\n";
    EXPECT_EQ(Find(continued).text, "x");
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
