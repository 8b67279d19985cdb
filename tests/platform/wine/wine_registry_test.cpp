#include "platform/wine/wine_registry.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_folder.h"

namespace vantrel {
namespace {

class WineRegistryTest : public ::testing::Test {
protected:
    std::optional<std::string> Read(const std::string& systemReg, std::string_view key = "SOFTWARE\\EA\\Game") {
        test::WriteBytes(folder.Path() / "system.reg", systemReg);
        WinePrefix prefix(folder.Path().string());
        WineRegistry registry(prefix);
        return registry.ReadMachineString(key, "InstallPath");
    }

    static std::string Value(const std::string& key, const std::string& escapedText) {
        return "[" + key + "] 1700000000\n\"InstallPath\"=\"" + escapedText + "\"\n\n";
    }

    test::TempFolder folder;
};

const std::string kWin64 = "WINE REGISTRY Version 2\n\n#arch=win64\n\n";
const std::string kWin32 = "WINE REGISTRY Version 2\n\n#arch=win32\n\n";

TEST_F(WineRegistryTest, ReadsTheThirtyTwoBitView) {
    const std::string plain = Value("Software\\\\EA\\\\Game", "C:\\\\Plain\\\\");
    const std::string wow = Value("Software\\\\Wow6432Node\\\\EA\\\\Game", "C:\\\\Wow\\\\");
    EXPECT_EQ(Read(kWin64 + plain + wow), "C:\\Wow\\");
    EXPECT_EQ(Read(kWin64 + plain), "C:\\Plain\\") << "falls back to the plain key when the redirected one is absent";
    EXPECT_EQ(Read(kWin32 + plain + wow), "C:\\Plain\\") << "a 32-bit prefix has no redirection";
    EXPECT_EQ(Read(kWin64 + "[Software\\\\Wow6432Node\\\\EA\\\\Game] 1700000000\n\n" + plain), std::nullopt)
        << "a redirected key without the value hides the plain one, as on Windows";

    // One registry asked in turn, as the start asks for both games: siblings, then keys elsewhere.
    test::WriteBytes(folder.Path() / "system.reg",
                     kWin64 + Value("System\\\\EA\\\\Game", "C:\\\\System\\\\") + plain + wow +
                         Value("Software\\\\EA\\\\Other", "C:\\\\Other\\\\") +
                         Value("Software\\\\Wow6432Node\\\\EA\\\\Game", "C:\\\\Again\\\\"));
    WinePrefix prefix(folder.Path().string());
    WineRegistry registry(prefix);
    EXPECT_EQ(registry.ReadMachineString("SOFTWARE\\EA\\Game", "InstallPath"), "C:\\Wow\\");
    EXPECT_EQ(registry.ReadMachineString("software\\ea\\other", "InstallPath"), "C:\\Other\\");
    EXPECT_EQ(registry.ReadMachineString("Software\\EA\\Third", "InstallPath"), std::nullopt);
    EXPECT_EQ(registry.ReadMachineString("SYSTEM\\EA\\Game", "InstallPath"), "C:\\System\\");
    EXPECT_EQ(registry.ReadMachineString("SOFTWARE\\EA\\Game", "Version"), std::nullopt);
    EXPECT_EQ(registry.ReadMachineString("Software\\EA\\Game", "InstallPath"), "C:\\Wow\\");
}

TEST_F(WineRegistryTest, AnsiFormLongerThan255IsNotFound) {
    const std::string head = "C:\\\\";
    EXPECT_EQ(Read(kWin32 + Value("Software\\\\EA\\\\Game", head + std::string(252, 'a')))->size(), 255u);
    EXPECT_EQ(Read(kWin32 + Value("Software\\\\EA\\\\Game", head + std::string(253, 'a'))), std::nullopt);
    // 255 characters of which some take two bytes in UTF-8: the count is in ANSI characters.
    std::string accented;
    for (int i = 0; i < 252; ++i) {
        accented += "\\x00e9";
    }
    const auto found = Read(kWin32 + Value("Software\\\\EA\\\\Game", head + accented));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->size(), 3u + 2 * 252);
}

TEST_F(WineRegistryTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(Read(kWin32 + Value("Software\\\\EA\\\\Game", "C:\\\\\\x4e2d\\x00e9\\\\")), "C:\\?\xC3\xA9\\");
}

TEST_F(WineRegistryTest, MissingOrForeignFileMeansNothingInstalled) {
    WinePrefix prefix(folder.Path().string());
    WineRegistry registry(prefix);
    EXPECT_EQ(registry.ReadMachineString("SOFTWARE\\EA\\Game", "InstallPath"), std::nullopt);
    EXPECT_EQ(Read("REGEDIT4\n" + Value("Software\\\\EA\\\\Game", "C:\\\\")), std::nullopt);
    EXPECT_EQ(Read(""), std::nullopt);
}

} // namespace
} // namespace vantrel

namespace vantrel {
namespace {

TEST_F(WineRegistryTest, ReadsBothHivesAndViewsInOnePassEach) {
    const std::string machine = kWin64 + Value("Software\\\\EA\\\\Game", "C:\\\\Plain\\\\") +
                                Value("Software\\\\Wow6432Node\\\\EA\\\\Game", "C:\\\\Wow\\\\") +
                                Value("Software\\\\Wow6432Node\\\\EA\\\\Only32", "C:\\\\Only32\\\\");
    const std::string user = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21\n\n#arch=win64\n\n" +
                             Value("Software\\\\EA\\\\Game", "C:\\\\User\\\\") +
                             Value("Software\\\\Wow6432Node\\\\EA\\\\Game", "C:\\\\NotAView\\\\");
    struct Case {
        std::string systemReg;
        std::string userReg;
        RegistryRoot root;
        RegistryView view;
        std::string key;
        std::optional<std::string> expected;
    };
    using Root = RegistryRoot;
    using View = RegistryView;
    const Case cases[] = {
        {machine, user, Root::LocalMachine, View::Bits32, "Software\\EA\\Game", "C:\\Wow\\"},
        {machine, user, Root::LocalMachine, View::Bits64, "Software\\EA\\Game", "C:\\Plain\\"},
        {machine, user, Root::LocalMachine, View::Bits64, "Software\\EA\\Only32", std::nullopt},
        {machine, user, Root::CurrentUser, View::Bits32, "Software\\EA\\Game", "C:\\User\\"},
        {machine, user, Root::CurrentUser, View::Bits64, "Software\\EA\\Game", "C:\\User\\"},
        {machine, "", Root::CurrentUser, View::Bits32, "Software\\EA\\Game", std::nullopt},
        {kWin32 + Value("Software\\\\EA\\\\Game", "C:\\\\Plain\\\\"), user, Root::LocalMachine, View::Bits64,
         "Software\\EA\\Game", "C:\\Plain\\"},
    };
    for (const auto& c : cases) {
        test::WriteBytes(folder.Path() / "system.reg", c.systemReg);
        test::WriteBytes(folder.Path() / "user.reg", c.userReg);
        WinePrefix prefix(folder.Path().string());
        WineRegistry registry(prefix);
        // Asked among others, as the start asks: each answer stays with its own query.
        const RegistryQuery queries[] = {{Root::CurrentUser, View::Bits32, "Software\\Valve\\Steam", "SteamPath"},
                                         {c.root, c.view, c.key, "InstallPath"},
                                         {Root::LocalMachine, View::Bits32, "Software\\EA\\Missing", "InstallPath"}};
        const auto answers = registry.ReadStrings(queries);
        ASSERT_EQ(answers.size(), 3u);
        EXPECT_EQ(answers[1], c.expected) << c.key << (c.root == Root::CurrentUser ? " HKCU" : " HKLM")
                                          << (c.view == View::Bits32 ? " 32" : " 64");
        EXPECT_EQ(answers[0], std::nullopt);
        EXPECT_EQ(answers[2], std::nullopt);
    }
}

} // namespace
} // namespace vantrel
