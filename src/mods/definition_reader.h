// Reads one mod definition file into a ModRecord.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mods/program_values.h"
#include "platform/text_files.h"

namespace vantrel {

// The games' default install folders, which destinations in definition files may hold; the reader
// puts the folders found on this machine in their place.
inline constexpr std::string_view kDefaultGeneralsFolder =
    "C:\\Program Files\\EA Games\\Command and Conquer Generals\\";
inline constexpr std::string_view kDefaultZeroHourFolder =
    "C:\\Program Files\\EA Games\\Command & Conquer Generals Zero Hour\\";

// The line, after the last pair, of a mod that keeps its own settings, maps, replays and saved games.
// It holds none of the other keys, so that readers that know nothing of it pass over it.
inline constexpr std::string_view kOwnUserDataLine = "UserData=Own";

// Reads forward to the first line holding `key` anywhere (exact characters) and returns true with
// that line, good until the next read; false with an empty line at the end of the file or on a read
// error.
bool FindLine(TextFileReader& file, std::string_view key, std::string_view& line);

// The lists a reader gathers a definition's pairs in before the record gets copies of exact size.
// One kept for file after file serves them all without allocating anew.
struct PairLists {
    std::vector<std::string> sources;
    std::vector<std::string> destinations;
};

// Fills `record` from the definition open in `file`, read from `path`, replacing all it held. Its
// strings keep their memory: a record read over an earlier one allocates next to nothing. True when
// the file holds a location line; false when it has none (no pairs then).
bool ReadModDefinition(TextFileReader& file, const ProgramValues& values, std::string_view path,
                       ModRecord& record, PairLists& lists);
bool ReadModDefinition(TextFileReader& file, const ProgramValues& values, std::string_view path,
                       ModRecord& record);

// Fills the cleared `record` from the definition at `path`. True when the file holds a location line;
// false when it has none (no pairs then) or cannot be opened (record untouched).
bool ReadModDefinition(TextFiles& files, const ProgramValues& values, std::string_view path,
                       ModRecord& record);

} // namespace vantrel
