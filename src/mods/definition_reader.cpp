#include "mods/definition_reader.h"

#include "platform/utf8.h"

namespace vantrel {
namespace {

std::string ValueOf(const std::string& line) {
    return line.substr(line.find('=') + 1);
}

// Replaces every occurrence left to right; inserted text is not searched again.
void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

std::string NameFromPath(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    const std::string_view fileName = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return std::string(fileName.substr(0, fileName.find('.')));
}

} // namespace

bool FindLine(TextFileReader& file, std::string_view key, std::string& line) {
    while (file.ReadLine(line)) {
        if (line.find(key) != std::string::npos) {
            return true;
        }
    }
    line.clear();
    return false;
}

bool ReadModDefinition(TextFiles& files, const ProgramValues& values, std::string_view path,
                       ModRecord& record) {
    const auto file = files.OpenForReading(path);
    if (!file) {
        return false;
    }
    bool result = false;
    std::string line;
    if (FindLine(*file, "Location=", line)) {
        const std::string value = ValueOf(line);
        record.szModFolder = value;
        if (Utf8Length(value) > 1) {
            const std::size_t folderEnd = value.rfind('\\');
            record.szModFolder = folderEnd == std::string::npos ? "" : value.substr(0, folderEnd + 1);
            const std::size_t lineSlash = line.rfind('\\');
            record.szModFile = line.substr((lineSlash != std::string::npos ? lineSlash : line.rfind('=')) + 1);
        }
        record.szName = NameFromPath(path);
        record.definitionFile = std::string(path);
        result = true;
    }

    record.nPairCount = 0;
    record.szSrcPaths.clear();
    record.szDstFolders.clear();
    while (record.nPairCount < kMaxEntries && FindLine(*file, "Source=", line)) {
        std::string source = ValueOf(line);
        if (!FindLine(*file, "Destination=", line)) {
            break;
        }
        std::string destination = ValueOf(line);
        ReplaceAll(destination, kDefaultGeneralsFolder, values.szGeneralsPath);
        ReplaceAll(destination, kDefaultZeroHourFolder, values.szZeroHourPath);
        record.szSrcPaths.push_back(std::move(source));
        record.szDstFolders.push_back(std::move(destination));
        ++record.nPairCount;
    }
    return result;
}

} // namespace vantrel
