// Feeds arbitrary bytes to the definition reader; a definition it reads must write and read back
// to the same pairs and the same own-user-data flag.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "mods/definition_reader.h"
#include "mods/definition_writer.h"
#include "support/memory_text_files.h"
#include "support/recording_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantrel;
    test::MemoryTextFiles files;
    files.files["C:\\V\\Fuzz.vtl"] = std::string(reinterpret_cast<const char*>(data), size);
    ProgramValues values;
    // The default folders standing for themselves make the substitution an identity.
    values.szGeneralsPath = std::string(kDefaultGeneralsFolder);
    values.szZeroHourPath = std::string(kDefaultZeroHourFolder);

    ModRecord record;
    const bool read = ReadModDefinition(files, values, "C:\\V\\Fuzz.vtl", record);
    if (record.szSrcPaths.size() != static_cast<std::size_t>(record.nPairCount) ||
        record.szDstFolders.size() != record.szSrcPaths.size() || (!read && record.nPairCount != 0)) {
        std::abort();
    }
    if (!read) {
        return 0;
    }
    test::RecordingMessages messages;
    if (!WriteModDefinition(files, messages, "C:\\V", "Again", record.szModFolder + record.szModFile,
                            record.szSrcPaths, record.szDstFolders, record.ownUserData)) {
        std::abort();
    }
    ModRecord again;
    if (!ReadModDefinition(files, values, "C:\\V\\Again.vtl", again) ||
        again.szSrcPaths != record.szSrcPaths || again.szDstFolders != record.szDstFolders ||
        again.ownUserData != record.ownUserData) {
        std::abort();
    }
    return 0;
}
