#include "mods/definition_reader.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/utf8.h"

namespace vantrel {
namespace {

// What follows the first '=', a few characters in: a plain loop, cheaper there than a library search.
std::string_view ValueOf(std::string_view line) {
    const auto equals = std::find(line.begin(), line.end(), '=');
    return equals == line.end() ? line : line.substr(static_cast<std::size_t>(equals - line.begin()) + 1);
}

// Puts `text` in `out`, in the memory `out` has when it is large enough, else in new memory of just
// that size: a catalogue of thousands of records should not carry the spare room of growing strings.
void AssignExact(std::string& out, std::string_view text) {
    if (out.capacity() >= text.size()) {
        out.assign(text);
    } else {
        out = std::string(text);
    }
}

// Puts `text` in `out` with every occurrence of `what` replaced left to right; inserted text is not
// searched again.
void AssignReplacing(std::string& out, std::string_view text, std::string_view what, std::string_view with) {
    out.clear();
    for (std::size_t at; (at = text.find(what)) != std::string_view::npos;
         text.remove_prefix(at + what.size())) {
        out.append(text.substr(0, at));
        out.append(with);
    }
    out.append(text);
}

// The same in place.
void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

// Utf8Length(text) > 1, without counting past the second character.
bool HasTwoCharacters(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if (!IsUtf8Continuation(c) && ++count > 1) {
            return true;
        }
    }
    return false;
}

// Keys mostly begin their lines: a few characters compared in place, cheaper than a search.
bool BeginsWith(std::string_view line, std::string_view key) {
    if (line.size() < key.size()) {
        return false;
    }
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (line[i] != key[i]) {
            return false;
        }
    }
    return true;
}

std::string_view NameFromPath(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    const std::string_view fileName = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return fileName.substr(0, fileName.find('.'));
}

// FindLine, setting `ownUserData` when a line it passes over is the own-user-data line.
bool FindLineNoting(TextFileReader& file, std::string_view key, std::string_view& line, bool& ownUserData) {
    while (file.NextLine(line)) {
        if (BeginsWith(line, key) || line.find(key) != std::string_view::npos) {
            return true;
        }
        // Lengths are compared first, which settles nearly every line.
        ownUserData = ownUserData || line == kOwnUserDataLine;
    }
    line = {};
    return false;
}

} // namespace

bool FindLine(TextFileReader& file, std::string_view key, std::string_view& line) {
    bool ignored = false;
    return FindLineNoting(file, key, line, ignored);
}

bool ReadModDefinition(TextFileReader& file, const ProgramValues& values, std::string_view path,
                       ModRecord& record, PairLists& lists) {
    // Every field is assigned in place, so that strings keep their memory for the new text.
    record.szName.clear();
    record.szModFolder.clear();
    record.szModFile.clear();
    record.definitionFile.clear();
    record.ownUserData = false;
    std::string_view line;
    bool result = false;
    if (FindLine(file, "Location=", line)) {
        const std::string_view value = ValueOf(line);
        if (HasTwoCharacters(value)) {
            const std::size_t folderEnd = value.rfind('\\');
            if (folderEnd != std::string_view::npos) {
                AssignExact(record.szModFolder, value.substr(0, folderEnd + 1));
            }
            const std::size_t lineSlash = line.rfind('\\');
            AssignExact(record.szModFile,
                        line.substr((lineSlash != std::string_view::npos ? lineSlash : line.rfind('=')) + 1));
        } else {
            AssignExact(record.szModFolder, value);
        }
        AssignExact(record.szName, NameFromPath(path));
        AssignExact(record.definitionFile, path);
        result = true;
    }

    auto& sources = lists.sources;
    auto& destinations = lists.destinations;
    std::size_t pairs = 0;
    // Like the pairs, the own-user-data line is looked for after the location only.
    bool& ownUserData = record.ownUserData;
    while (pairs < static_cast<std::size_t>(kMaxEntries) &&
           FindLineNoting(file, "Source=", line, ownUserData)) {
        if (pairs == sources.size()) {
            sources.emplace_back();
            destinations.emplace_back();
        }
        sources[pairs].assign(ValueOf(line)); // taken before the next line replaces it
        if (!FindLineNoting(file, "Destination=", line, ownUserData)) {
            break;
        }
        AssignReplacing(destinations[pairs], ValueOf(line), kDefaultGeneralsFolder, values.szGeneralsPath);
        ReplaceAll(destinations[pairs], kDefaultZeroHourFolder, values.szZeroHourPath);
        ++pairs;
    }
    // Pairs past the largest count are ignored, but the line after them still counts.
    while (pairs == static_cast<std::size_t>(kMaxEntries) && !ownUserData && file.NextLine(line)) {
        ownUserData = line == kOwnUserDataLine;
    }
    // Pairs the record held beyond the new ones go, as does a source without its destination.
    for (const auto& [from, to] :
         {std::pair{&sources, &record.szSrcPaths}, std::pair{&destinations, &record.szDstFolders}}) {
        to->reserve(pairs); // exactly as many, when the record has room for fewer
        to->resize(pairs);
        for (std::size_t i = 0; i < pairs; ++i) {
            AssignExact((*to)[i], (*from)[i]);
        }
    }
    record.nPairCount = static_cast<std::int16_t>(pairs);
    return result;
}

bool ReadModDefinition(TextFileReader& file, const ProgramValues& values, std::string_view path,
                       ModRecord& record) {
    PairLists lists;
    return ReadModDefinition(file, values, path, record, lists);
}

bool ReadModDefinition(TextFiles& files, const ProgramValues& values, std::string_view path,
                       ModRecord& record) {
    const auto file = files.OpenForReading(path);
    return file && ReadModDefinition(*file, values, path, record);
}

} // namespace vantrel
