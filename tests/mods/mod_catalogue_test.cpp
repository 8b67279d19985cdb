#include "mods/mod_catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/memory_text_files.h"
#include "support/test_machine.h"

namespace vantrel {
namespace {

class ModCatalogue : public ::testing::Test {
protected:
    ModCatalogue() {
        std::filesystem::create_directories(machine.HostPath("Vantrel"));
        values.definitionFolder = machine.WindowsPath("Vantrel");
    }

    void Load() { LoadModCatalogue(values, machine.directoryListing(), machine.textFiles()); }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int i = 0; i < values.nModCount; ++i) {
            names.push_back(values.Mods[static_cast<std::size_t>(i)].szName);
        }
        EXPECT_EQ(values.Mods.size(), std::max<std::size_t>(static_cast<std::size_t>(values.nModCount), 1));
        return names;
    }

    test::TestMachine machine;
    ProgramValues values;
};

TEST_F(ModCatalogue, EmptyFolderLeavesOneEmptyRecord) {
    values.Mods.resize(3);
    values.nModCount = 3;
    Load();
    EXPECT_EQ(values.nModCount, 0);
    ASSERT_EQ(values.Mods.size(), 1u);
    EXPECT_EQ(values.Mods[0], ModRecord{});
}

TEST_F(ModCatalogue, LoadsReadableDefinitionsInListingOrderWithoutGaps) {
    machine.Write("Vantrel/B.vtl", "Location=D:\\b.big\r\n");
    machine.Write("Vantrel/a.vtl", "Location=D:\\a.big\r\nSource=D:\\s\r\nDestination=D:\\d\r\n");
    machine.Write("Vantrel/Broken.vtl", "no location here\r\n");
    machine.Write("Vantrel/Empty.vtl", "Location=\r\n");
    Load();
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "B", "Empty"}));
    EXPECT_EQ(values.Mods[0].nPairCount, 1);
    EXPECT_EQ(values.Mods[1].szModFile, "b.big");
    EXPECT_EQ(values.Mods[2].szModFile, "") << "nothing carries over from the file read before";
    EXPECT_EQ(values.Mods[2].nPairCount, 0);
}

TEST_F(ModCatalogue, ListsOnlyOrdinaryVisibleDefinitionFiles) {
    machine.Write("Vantrel/My.Mod.vtl", "Location=\r\n");
    machine.Write("Vantrel/UPPER.VTL", "Location=\r\n");
    machine.Write("Vantrel/.hidden.vtl", "Location=\r\n");
    ASSERT_TRUE(machine.Hide("Vantrel/.hidden.vtl"));
    machine.Write("Vantrel/notes.txt", "Location=\r\n");
    machine.Write("Vantrel/x.vtl.bak", "Location=\r\n");
    std::filesystem::create_directories(machine.HostPath("Vantrel/x.vtl"));
    machine.Write("Vantrel/Sub/Inner.vtl", "Location=\r\n");
    Load();
    EXPECT_EQ(Names(), (std::vector<std::string>{"My", "UPPER"}));
}

TEST_F(ModCatalogue, RescanReplacesTheWholeCatalogue) {
    machine.Write("Vantrel/A.vtl", "Location=\r\n");
    machine.Write("Vantrel/B.vtl", "Location=\r\n");
    Load();
    ASSERT_EQ(values.nModCount, 2);
    std::filesystem::remove(machine.HostPath("Vantrel/A.vtl"));
    std::filesystem::remove(machine.HostPath("Vantrel/B.vtl"));
    Load();
    EXPECT_EQ(values.nModCount, 0);
    EXPECT_EQ(values.Mods.size(), 1u);
}

TEST_F(ModCatalogue, RescanGivesWhatAFirstScanGives) {
    // Each step changes the folder, rescans over the catalogue before and compares with a first scan.
    const auto definition = [](const std::string& mod, int pairs) {
        std::string text = "Location=D:\\Mods\\" + mod + "\\" + mod + ".big\r\n";
        for (int i = 0; i < pairs; ++i) {
            text += "Source=D:\\Mods\\" + mod + "\\Part" + std::to_string(i) +
                    "\r\nDestination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\r\n";
        }
        return text;
    };
    const std::vector<std::function<void()>> steps = {
        [&] {
            machine.Write("Vantrel/A.vtl", definition("A", 3));
            machine.Write("Vantrel/B.vtl", definition("A mod with a rather long name", 9));
            machine.Write("Vantrel/C.vtl", definition("C", 1));
        },
        [&] {
            machine.Write("Vantrel/B.vtl", definition("B", 1));
            std::filesystem::remove(machine.HostPath("Vantrel/A.vtl"));
            machine.Write("Vantrel/D.vtl", "no location here\r\nSource=D:\\x\r\nDestination=D:\\y\r\n");
            machine.Write("Vantrel/E.vtl", "Location=\r\n");
        },
        [&] {
            for (const char* mod : {"F", "G", "H", "I", "J"}) {
                machine.Write(std::string("Vantrel/") + mod + ".vtl", definition(mod, 4));
            }
        },
        [&] { std::filesystem::remove_all(machine.HostPath("Vantrel")); },
        [&] { machine.Write("Vantrel/Z.vtl", definition("Z", 2)); },
    };
    values.szGeneralsPath = "E:\\Generals\\";
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i]();
        Load();
        ProgramValues first;
        first.definitionFolder = values.definitionFolder;
        first.szGeneralsPath = values.szGeneralsPath;
        LoadModCatalogue(first, machine.directoryListing(), machine.textFiles());
        EXPECT_EQ(values.nModCount, first.nModCount) << i;
        EXPECT_EQ(values.Mods, first.Mods) << i;
    }
}

// A listing of many names, all served from memory, so that the limit is reached quickly.
class ManyDefinitions final : public DirectoryListing {
public:
    explicit ManyDefinitions(int count) : count_(count) {}
    std::vector<std::string> ListFiles(std::string_view) override {
        std::vector<std::string> names;
        for (int i = 0; i < count_; ++i) {
            names.push_back("m" + std::to_string(i) + ".vtl");
        }
        return names;
    }

private:
    int count_;
};

TEST_F(ModCatalogue, IgnoresDefinitionsBeyondTheLargestCount) {
    // Read in one pass and in slices side by side; every thousandth file holds no location and is
    // skipped without a gap, whichever slice it falls in.
    const int count = kMaxEntries + 40;
    ManyDefinitions listing(count);
    for (const bool parallel : {false, true}) {
        test::MemoryTextFiles files;
        files.parallel = parallel;
        for (int i = 0; i < count; ++i) {
            files.files[values.definitionFolder + "\\m" + std::to_string(i) + ".vtl"] =
                i % 1000 == 999 ? "Source=x\r\n" : "Location=\r\n";
        }
        ProgramValues read;
        read.definitionFolder = values.definitionFolder;
        LoadModCatalogue(read, listing, files);
        EXPECT_EQ(read.nModCount, kMaxEntries) << parallel;
        EXPECT_EQ(read.Mods.size(), static_cast<std::size_t>(kMaxEntries)) << parallel;
        EXPECT_EQ(read.Mods[998].szName, "m998") << parallel;
        EXPECT_EQ(read.Mods[999].szName, "m1000") << parallel;
        EXPECT_EQ(read.Mods.back().szName, "m" + std::to_string(kMaxEntries - 1 + kMaxEntries / 1000)) << parallel;
    }
}

} // namespace
} // namespace vantrel
