#include "discovery/proton_tool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "support/test_machine.h"

namespace vantrel {
namespace {

constexpr const char* kZeroHour = "2732960";

// Steam's folder (also a library) and a second library holding Zero Hour, as Steam lays them out.
class ProtonTool : public ::testing::Test {
protected:
    void MapTools(const std::string& entries) {
        machine->Write("Steam/config/config.vdf",
                       "\"InstallConfigStore\"\n{\n\t\"Software\"\n\t{\n\t\t\"valve\"\n\t\t{\n\t\t\t\"Steam\"\n\t\t\t{\n"
                       "\t\t\t\t\"CompatToolMapping\"\n\t\t\t\t{\n" +
                           entries + "\t\t\t\t}\n\t\t\t}\n\t\t}\n\t}\n}\n");
    }
    static std::string Mapping(const std::string& appId, const std::string& tool) {
        return "\t\t\t\t\t\"" + appId + "\"\n\t\t\t\t\t{\n\t\t\t\t\t\t\"name\"\t\t\"" + tool +
               "\"\n\t\t\t\t\t\t\"config\"\t\t\"\"\n\t\t\t\t\t\t\"priority\"\t\t\"250\"\n\t\t\t\t\t}\n";
    }
    // A Proton folder holding its launcher; its Windows path.
    std::string Proton(const std::string& relative) {
        machine->Write(relative + "/proton", "#!/bin/sh\n");
        machine->Write(relative + "/files/share/fonts/arial.ttf", "font");
        return machine->WindowsPath(relative + "/proton");
    }
    void ConfigInfo(const std::string& firstLine, const std::string& protonFolder) {
        machine->Write("Lib2/steamapps/compatdata/2732960/config_info",
                       firstLine + "\n" + machine->SteamPath(protonFolder + "/files/share/fonts/") + "\n" +
                           machine->SteamPath(protonFolder + "/files/lib/") + "\n");
    }

    Installations Found() const {
        Installations found;
        found.zeroHour = {machine->WindowsPath("Lib2\\steamapps\\common\\ZH") + "\\", std::string(kSteamSource),
                          machine->WindowsPath("Lib2"), kZeroHour};
        found.generals = {"C:\\Games\\Generals\\", std::string(kDiscSource), {}, {}};
        found.steamLibraries = {machine->WindowsPath("Steam"), machine->WindowsPath("Lib2")};
        found.steamFolders = {machine->WindowsPath("Steam")};
        found.protonLibraries = found.steamLibraries;
        return found;
    }

    std::unique_ptr<test::TestMachine> machine = std::make_unique<test::TestMachine>();
};

TEST_F(ProtonTool, TakesTheMappedToolThenTheOneThatRanThePrefixThenSteamPlaysDefault) {
    struct Case {
        const char* name;
        std::function<std::string()> setup; // makes the tree; the Proton expected, "" for none
        std::string failure;                // the start of the failure, when none is found
    };
    const Case cases[] = {
        {"mapped to one of Valve's, over what ran the prefix",
         [&] {
             MapTools(Mapping(kZeroHour, "proton_9") + Mapping("0", "proton_experimental"));
             Proton("Steam/steamapps/common/Proton 8.0");
             Proton("Steam/steamapps/common/Proton - Experimental");
             ConfigInfo("8.0-105", "Steam/steamapps/common/Proton 8.0");
             return Proton("Lib2/steamapps/common/Proton 9.0 (Beta)");
         },
         ""},
        {"mapped to a custom tool in compatibilitytools.d",
         [&] {
             MapTools(Mapping(kZeroHour, "GE-Proton9-20"));
             Proton("Steam/steamapps/common/Proton 9.0");
             machine->Write("Steam/compatibilitytools.d/Other/compatibilitytool.vdf",
                            "\"compatibilitytools\" { \"compat_tools\" { \"Other\" { \"install_path\" \".\" } } }");
             Proton("Steam/compatibilitytools.d/Other");
             machine->Write("Steam/compatibilitytools.d/GE/compatibilitytool.vdf",
                            "\"compatibilitytools\"\n{\n  \"compat_tools\"\n  {\n    \"GE-Proton9-20\" // its name\n"
                            "    {\n      \"install_path\" \"dist\"\n      \"display_name\" \"GE-Proton9-20\"\n"
                            "      \"from_oslist\" \"windows\"\n      \"to_oslist\" \"linux\"\n    }\n  }\n}\n");
             return Proton("Steam/compatibilitytools.d/GE/dist");
         },
         ""},
        {"the old numbering",
         [&] {
             MapTools(Mapping(kZeroHour, "proton_63"));
             Proton("Steam/steamapps/common/Proton 6.0");
             return Proton("Steam/steamapps/common/Proton 6.3");
         },
         ""},
        {"a mapped tool that is gone: what ran the prefix",
         [&] {
             MapTools(Mapping(kZeroHour, "proton_7"));
             const std::string proton = Proton("Steam/steamapps/common/Proton 8.0");
             ConfigInfo("8.0-105", "Steam/steamapps/common/Proton 8.0");
             return proton;
         },
         ""},
        {"no config.vdf: the prefix's config_info",
         [&] {
             Proton("Steam/steamapps/common/Proton 9.0");
             ConfigInfo("8.0-105", "Steam/compatibilitytools.d/My Proton");
             return Proton("Steam/compatibilitytools.d/My Proton");
         },
         ""},
        {"config_info's folder in a library, not a launcher inside it",
         [&] {
             Proton("Lib2/steamapps/common/Proton 8.0");
             machine->Write("Lib2/steamapps/common/My Build/files/proton", "#!/bin/sh\n");
             ConfigInfo("8.0-105", "Lib2/steamapps/common/My Build");
             return Proton("Lib2/steamapps/common/My Build");
         },
         ""},
        {"config_info's folder without its launcher: none above it, its version",
         [&] {
             machine->Write("proton", "#!/bin/sh\n");
             machine->Write("Lib2/steamapps/proton", "#!/bin/sh\n");
             machine->Write("Lib2/steamapps/common/proton", "#!/bin/sh\n");
             machine->Write("Lib2/steamapps/common/Gone/files/share/fonts/arial.ttf", "font");
             ConfigInfo("8.0-105", "Lib2/steamapps/common/Gone");
             return Proton("Lib2/steamapps/common/Proton 8.0");
         },
         ""},
        {"config_info naming a folder where Steam installs no tool: Steam Play's choice",
         [&] {
             MapTools(Mapping("0", "proton_9"));
             Proton("home/My Proton");
             ConfigInfo("8.0-105", "home/My Proton");
             return Proton("Steam/steamapps/common/Proton 9.0");
         },
         ""},
        {"config_info naming folders that are gone: its version",
         [&] {
             ConfigInfo("8.0-105", "Moved/Proton 8.0");
             return Proton("Lib2/steamapps/common/Proton 8.0");
         },
         ""},
        {"Steam Play's choice for every other title",
         [&] {
             MapTools(Mapping("0", "proton_experimental"));
             return Proton("Steam/steamapps/common/Proton - Experimental");
         },
         ""},
        {"nothing at all",
         [&] {
             MapTools(Mapping("2229870", "proton_9"));
             Proton("Steam/steamapps/common/Proton 9.0");
             return std::string();
         },
         "no Proton found for app 2732960; Steam names no tool for it in "},
        {"a mapped tool no folder declares",
         [&] {
             MapTools(Mapping(kZeroHour, "GE-Proton9-20"));
             machine->Write("Steam/compatibilitytools.d/GE/proton", "declared by no compatibilitytool.vdf");
             return std::string();
         },
         "no Proton found for app 2732960; the tool Steam names for it, \"GE-Proton9-20\", is not installed"},
    };
    for (const auto& c : cases) {
        machine = std::make_unique<test::TestMachine>();
        const std::string expected = c.setup();
        const auto runs = ProtonRunsFor(Found(), machine->gameFiles());
        ASSERT_EQ(runs.size(), 1u) << c.name << ": only games from Steam run through Proton";
        const ProtonRun& run = runs.front();
        EXPECT_EQ(run.gameFolder, machine->WindowsPath("Lib2\\steamapps\\common\\ZH\\")) << c.name;
        EXPECT_EQ(run.appId, kZeroHour) << c.name;
        EXPECT_EQ(run.compatData, machine->WindowsPath("Lib2\\steamapps\\compatdata\\2732960")) << c.name;
        EXPECT_EQ(run.steamFolder, machine->WindowsPath("Steam")) << c.name;
        EXPECT_EQ(run.proton, expected) << c.name;
        EXPECT_TRUE(run.failure.starts_with(c.failure)) << c.name << ": " << run.failure;
        EXPECT_EQ(run.failure.empty(), c.failure.empty()) << c.name;
    }
    // A Windows Steam installed in the prefix runs its games with the prefix's Wine, never a Proton.
    Installations inPrefix = Found();
    inPrefix.protonLibraries.clear();
    EXPECT_TRUE(ProtonRunsFor(inPrefix, machine->gameFiles()).empty());
}

} // namespace
} // namespace vantrel
