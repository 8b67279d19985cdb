#include "launch/launch_journal.h"

#include <cinttypes>
#include <cstdio>

namespace vantrel {
namespace {

constexpr std::string_view kHeader = "Vantrel launch journal ";
constexpr int kVersion = 1;

std::uint64_t Checksum(const std::vector<std::string>& lines, std::size_t count) {
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a over each line and its end
    for (std::size_t i = 0; i < count; ++i) {
        for (const char c : lines[i]) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
        hash = (hash ^ '\n') * 1099511628211ULL;
    }
    return hash;
}

std::string Number(std::uint64_t value) {
    return std::to_string(value);
}

// Parses a whole unsigned decimal number; nullopt for anything else.
std::optional<std::uint64_t> ParseNumber(std::string_view text) {
    if (text.empty() || text.size() > 20) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const std::uint64_t next = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (next / 10 != value) {
            return std::nullopt;
        }
        value = next;
    }
    return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string_view::npos; at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// The value of a "key=value" line; nullopt when the key differs.
std::optional<std::string_view> Value(std::string_view line, std::string_view key) {
    if (line.size() <= key.size() || !line.starts_with(key) || line[key.size()] != '=') {
        return std::nullopt;
    }
    return line.substr(key.size() + 1);
}

std::string Describe(const std::vector<PlacedPair>& pairs) {
    std::string text;
    for (const auto& pair : pairs) {
        text += (text.empty() ? "" : "; ") + pair.paths.target;
    }
    return text;
}

} // namespace

std::vector<std::string> FormatJournal(const std::vector<PlacedPair>& pairs) {
    std::vector<std::string> lines = {std::string(kHeader) + std::to_string(kVersion)};
    for (const auto& pair : pairs) {
        lines.push_back("pair");
        lines.push_back("target=" + pair.paths.target);
        lines.push_back("backup=" + pair.paths.backup);
        lines.push_back(std::string("kind=") + (pair.kind == EntryKind::Folder ? "folder" : "file"));
        std::string flags;
        for (const bool flag : {pair.started, pair.willBackUp, pair.backupWasThere, pair.targetWasFree, pair.copied,
                                pair.mergedIntoExisting}) {
            flags += flag ? '1' : '0';
        }
        lines.push_back("flags=" + flags);
        lines.push_back("created=" +
                        (pair.created ? Number(pair.created->volume) + ":" + Number(pair.created->index) : "-"));
        lines.push_back("content=" + Number(pair.content.entries) + ":" + Number(pair.content.bytes) + ":" +
                        Number(pair.content.fingerprint));
    }
    char checksum[17];
    std::snprintf(checksum, sizeof checksum, "%016" PRIx64, Checksum(lines, lines.size()));
    lines.push_back("end=" + Number(pairs.size()) + ":" + checksum);
    return lines;
}

JournalState ParseJournal(const std::vector<std::string>& lines, std::vector<PlacedPair>& pairs) {
    pairs.clear();
    if (lines.empty() || !lines.front().starts_with(kHeader)) {
        return JournalState::Unreadable;
    }
    const auto version = ParseNumber(std::string_view(lines.front()).substr(kHeader.size()));
    if (!version) {
        return JournalState::Unreadable;
    }
    if (*version > kVersion) {
        return JournalState::NewerFormat;
    }
    constexpr std::size_t kLinesPerPair = 7;
    const auto end = Value(lines.back(), "end");
    const auto endParts = end ? Split(*end, ':') : std::vector<std::string_view>{};
    char expected[17];
    std::snprintf(expected, sizeof expected, "%016" PRIx64, Checksum(lines, lines.size() - 1));
    const auto count = endParts.size() == 2 ? ParseNumber(endParts[0]) : std::nullopt;
    if (*version != kVersion || !count || endParts[1] != expected || lines.size() != 2 + *count * kLinesPerPair) {
        return JournalState::Unreadable;
    }
    std::vector<PlacedPair> read;
    for (std::size_t i = 1; i + 1 < lines.size(); i += kLinesPerPair) {
        PlacedPair pair;
        const auto target = Value(lines[i + 1], "target");
        const auto backup = Value(lines[i + 2], "backup");
        const auto kind = Value(lines[i + 3], "kind");
        const auto flags = Value(lines[i + 4], "flags");
        const auto created = Value(lines[i + 5], "created");
        const auto content = Value(lines[i + 6], "content");
        if (lines[i] != "pair" || !target || !backup || !kind || (*kind != "file" && *kind != "folder") || !flags ||
            flags->size() != 6 || flags->find_first_not_of("01") != std::string_view::npos || !created || !content) {
            return JournalState::Unreadable;
        }
        pair.paths = {std::string(*target), std::string(*backup)};
        pair.kind = *kind == "folder" ? EntryKind::Folder : EntryKind::File;
        pair.started = (*flags)[0] == '1';
        pair.willBackUp = (*flags)[1] == '1';
        pair.backupWasThere = (*flags)[2] == '1';
        pair.targetWasFree = (*flags)[3] == '1';
        pair.copied = (*flags)[4] == '1';
        pair.mergedIntoExisting = (*flags)[5] == '1';
        if (*created != "-") {
            const auto parts = Split(*created, ':');
            const auto volume = parts.size() == 2 ? ParseNumber(parts[0]) : std::nullopt;
            const auto index = parts.size() == 2 ? ParseNumber(parts[1]) : std::nullopt;
            if (!volume || !index) {
                return JournalState::Unreadable;
            }
            pair.created = EntryIdentity{*volume, *index};
        }
        const auto parts = Split(*content, ':');
        const auto entries = parts.size() == 3 ? ParseNumber(parts[0]) : std::nullopt;
        const auto bytes = parts.size() == 3 ? ParseNumber(parts[1]) : std::nullopt;
        const auto fingerprint = parts.size() == 3 ? ParseNumber(parts[2]) : std::nullopt;
        if (!entries || !bytes || !fingerprint) {
            return JournalState::Unreadable;
        }
        pair.content = {*entries, *bytes, *fingerprint};
        read.push_back(std::move(pair));
    }
    pairs = std::move(read);
    return JournalState::Read;
}

LaunchJournal::LaunchJournal(TextFiles& textFiles, SingleFiles& singleFiles, std::string programFolder)
    : textFiles_(textFiles), singleFiles_(singleFiles), folder_(std::move(programFolder)),
      path_(folder_ + "\\" + std::string(kJournalFileName)) {}

bool LaunchJournal::Save(const std::vector<PlacedPair>& pairs, bool durable) {
    const auto file = textFiles_.StartReplacing(path_);
    if (!file) {
        return false;
    }
    for (const auto& line : FormatJournal(pairs)) {
        if (!file->WriteLine(line)) {
            return false;
        }
    }
    return file->Commit(durable);
}

bool LaunchJournal::Remove() {
    return !singleFiles_.FileExists(path_) || singleFiles_.DeleteFile(path_);
}

JournalState LaunchJournal::Load(std::vector<PlacedPair>& pairs) {
    pairs.clear();
    if (!singleFiles_.FileExists(path_)) {
        return JournalState::Absent;
    }
    const auto file = textFiles_.OpenForReading(path_);
    if (!file) {
        return JournalState::Unreadable;
    }
    std::vector<std::string> lines;
    for (std::string line; file->ReadLine(line);) {
        lines.push_back(line);
    }
    return ParseJournal(lines, pairs);
}

void LaunchJournal::RemoveLeftovers() {
    textFiles_.RemoveLeftovers(folder_);
}

std::string RecoverInterruptedLaunch(LaunchJournal& journal, SwapFileSystem& files, LaunchLock& lock) {
    // A launch that is still running owns its journal.
    if (!lock.TryAcquire(journal.Folder())) {
        return {};
    }
    journal.RemoveLeftovers();
    std::vector<PlacedPair> pairs;
    const JournalState state = journal.Load(pairs);
    std::string report;
    if (state == JournalState::Unreadable || state == JournalState::NewerFormat) {
        report = "A launch did not finish, but its journal (" + journal.Path() + ") " +
                 (state == JournalState::NewerFormat ? "is from a newer Vantrel" : "is damaged") +
                 "; the game folders were left as they are.";
    } else if (state == JournalState::Read) {
        std::vector<PlacedPair> left;
        if (UndoPlacedPairs(pairs, files, true, &left)) {
            report = journal.Remove()
                         ? "A launch did not finish; the game folders were put back as they were."
                         : "A launch did not finish; the game folders were put back, but its journal could not be removed.";
        } else {
            report = "A launch did not finish; left as they are, with any game entry under its .original name, "
                     "because they changed since the mod was put in or could not be removed: " +
                     Describe(left) + ".";
        }
    }
    lock.Release();
    return report;
}

} // namespace vantrel
