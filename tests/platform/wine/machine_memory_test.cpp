#include "platform/wine/machine_memory.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// What is known of a prefix holds only while its registry files stay as they were; the choice and
// the other prefixes' records survive each write, and a prefix that is gone is forgotten.
TEST(MachineMemory, KeepsTheChoiceAndForgetsWhatARegistryChangeMayHaveChanged) {
    const test::TempFolder folder;
    const std::string choice = (folder.Path() / "config/vantrel/machine").string();
    const std::string holds = (folder.Path() / "cache/vantrel/machines").string();
    EXPECT_EQ(ReadChosenMachine(choice), "");
    ASSERT_TRUE(WriteChosenMachine(choice, "/home/player/Games/generals zero hour"));
    EXPECT_EQ(ReadChosenMachine(choice), "/home/player/Games/generals zero hour");

    const std::string lutris = (folder.Path() / "Games/cnc").string();
    const std::string bottle = (folder.Path() / "bottles/Generals").string();
    const std::string gone = (folder.Path() / "Games/gone").string();
    for (const auto& prefix : {lutris, bottle, gone}) {
        test::WriteBytes(prefix + "/system.reg", "WINE REGISTRY Version 2\n");
    }
    HoldsRecords records(holds);
    EXPECT_EQ(records.Find(lutris), std::nullopt);
    records.Record(lutris, true);
    records.Record(bottle, false);
    records.Record(gone, true);
    HoldsRecords next(holds); // as the next start reads them
    EXPECT_EQ(next.Find(lutris), true);
    EXPECT_EQ(next.Find(bottle), false);
    EXPECT_EQ(next.Find(lutris + "/"), std::nullopt) << "another folder's name";
    EXPECT_EQ(next.Find(lutris.substr(0, lutris.size() - 1)), std::nullopt) << "another folder's name";

    test::WriteBytes(lutris + "/user.reg", "WINE REGISTRY Version 2\n[Software\\\\Valve\\\\Steam]\n");
    EXPECT_EQ(next.Find(lutris), std::nullopt) << "a Steam in the prefix may have installed a game";
    fs::remove_all(folder.Path() / "Games/gone");
    next.Record(lutris, false);
    EXPECT_EQ(HoldsRecords(holds).Find(lutris), false);
    EXPECT_EQ(HoldsRecords(holds).Find(bottle), false);
    const std::string text = test::ReadBytes(holds);
    EXPECT_EQ(text.find(gone), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;

    // Wine wrote the registry while the prefix was looked into: the next start looks again.
    HoldsRecords looking(holds);
    EXPECT_EQ(looking.Find(bottle), false);
    test::WriteBytes(bottle + "/user.reg", "WINE REGISTRY Version 2\n");
    looking.Record(bottle, true);
    EXPECT_EQ(HoldsRecords(holds).Find(bottle), std::nullopt);
}

} // namespace
} // namespace vantrel
