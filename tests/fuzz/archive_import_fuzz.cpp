// Feeds arbitrary bytes to the import as an archive: whatever it holds, the import writes nothing
// outside the mod's folder and its definition, and leaves nothing at all when it fails.
#include "mods/mod_import.h"
#include "support/recording_messages.h"
#include "support/test_machine.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// Every entry below `folder`, with no link and nothing but files and folders among them.
bool OnlyFilesAndFolders(const fs::path& folder) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_symlink() || !(entry.is_directory() || entry.is_regular_file())) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantrel;
    static test::TestMachine machine;
    static const bool prepared = [] {
        machine.Write("Games/ZH/Data/INI/GameData.ini", "zh data");
        fs::create_directories(machine.HostPath("Vantrel"));
        return true;
    }();
    (void)prepared;
    machine.Write("Downloads/Fuzz.zip", std::string(reinterpret_cast<const char*>(data), size));
    ProgramValues values;
    values.definitionFolder = machine.WindowsPath("Vantrel");
    values.szZeroHourPath = machine.WindowsPath("Games\\ZH") + "\\";
    test::RecordingMessages messages;
    const ImportResult result =
        ImportMod(values, {machine.importFiles(), machine.textFiles(), messages},
                  {machine.WindowsPath("Downloads\\Fuzz.zip"), "Fuzz", GameId::ZeroHour});
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(machine.HostPath("Vantrel"))) {
        const std::string name = entry.path().filename().string();
        if (name != "Mods" && name != "Fuzz.vtl") {
            std::abort();
        }
        ++entries;
    }
    const fs::path mods = machine.HostPath("Vantrel/Mods");
    std::size_t mod = 0;
    for (const auto& entry : fs::exists(mods) ? fs::directory_iterator(mods) : fs::directory_iterator()) {
        if (entry.path().filename() != "Fuzz" || !OnlyFilesAndFolders(entry.path())) {
            std::abort();
        }
        ++mod;
    }
    // A failed import takes away the mods folder it made.
    if (result.ok != (mod == 1) || result.ok != (entries == 2) ||
        machine.Read("Games/ZH/Data/INI/GameData.ini") != "zh data") {
        std::abort();
    }
    fs::remove_all(mods);
    fs::remove(machine.HostPath("Vantrel/Fuzz.vtl"));
    return 0;
}
