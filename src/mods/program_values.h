// The mod record and the program-wide values that the entry procedure owns and hands to every part.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The largest number of mods in the catalogue and of pairs in one record; further ones are ignored.
inline constexpr std::int16_t kMaxEntries = 32767;

// One mod definition in memory. Pair i is element i of szSrcPaths and of szDstFolders.
struct ModRecord {
    std::string szName;
    std::string szModFolder;
    std::string szModFile;
    std::int16_t nPairCount = 0;
    std::vector<std::string> szSrcPaths;
    std::vector<std::string> szDstFolders;
    // The definition file it was read from: the listed name alone may stand for several files.
    std::string definitionFile;
    // The mod keeps its own settings, maps, replays and saved games: its definition's "UserData=Own".
    bool ownUserData = false;

    friend bool operator==(const ModRecord&, const ModRecord&) = default;
};

// One of the two games.
enum class GameId { Generals, ZeroHour };

// "Generals", "Zero Hour"; and the possessive, "Generals'", "Zero Hour's".
[[nodiscard]] inline std::string_view GameName(GameId game) {
    return game == GameId::Generals ? "Generals" : "Zero Hour";
}
[[nodiscard]] inline std::string_view GamesOwn(GameId game) {
    return game == GameId::Generals ? "Generals'" : "Zero Hour's";
}

struct ProgramValues {
    // The folder holding the program's executable; this and the folders below are Windows paths
    // without a trailing backslash.
    std::string programFolder;
    // The folder holding the mod definitions: the catalogue's, the editor's and silent mode's.
    std::string definitionFolder;
    // The folder of the launch journal and the launch lock, always one this process can write to.
    std::string stateFolder;
    // Where a journal of an earlier start may still lie, had the state folder been chosen otherwise
    // then; empty when there is no such other place.
    std::string earlierStateFolder;
    std::string szGeneralsPath;
    std::string szZeroHourPath;
    // Where each folder was found ("disc", "EA App", "Steam"), empty with the folder.
    std::string generalsSource;
    std::string zeroHourSource;
    // One line for the player about where the games were looked for.
    std::string gameSearch;
    std::string szSilentModFile;
    // Elements 0 to nModCount - 1 are valid; there is always at least one (empty) element.
    std::vector<ModRecord> Mods = std::vector<ModRecord>(1);
    std::int16_t nModCount = 0;
    // One line for the user about what the start found, such as a launch it finished putting back.
    std::string startupNotice;
};

// The install folder found for `game`; empty when it was not found.
[[nodiscard]] inline const std::string& InstallFolderOf(const ProgramValues& values, GameId game) {
    return game == GameId::Generals ? values.szGeneralsPath : values.szZeroHourPath;
}

// Empties the catalogue down to its one empty element.
void ResetCatalogue(ProgramValues& values);

// Appends a copy of `record` as element nModCount; false (nothing added) when the catalogue is full.
bool AddToCatalogue(ProgramValues& values, ModRecord record);

} // namespace vantrel
