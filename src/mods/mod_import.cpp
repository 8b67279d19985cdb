#include "mods/mod_import.h"

#include "launch/report_text.h"
#include "mods/definition_writer.h"
#include "mods/import_names.h"
#include "mods/mod_catalogue.h"
#include "platform/case_fold.h"
#include "platform/codepage_1252.h"
#include "platform/windows_paths.h"

#include <cstdio>
#include <unordered_map>
#include <utility>

namespace vantrel {
namespace {

constexpr std::size_t kReadMeSniff = 64 * 1024;
constexpr std::uint64_t kProgressStep = 4 * 1024 * 1024;

// "Zero Hour" in any spelling, or "ZH" standing apart from other capitals ("ShockwaveZH.big").
bool MentionsZeroHour(std::string_view text) {
    const std::string lower = AsciiLowerCase(text);
    for (std::string_view spelling : {"zero hour", "zerohour", "zero_hour", "zero-hour"}) {
        if (lower.find(spelling) != std::string::npos) {
            return true;
        }
    }
    const auto isCapital = [](char c) { return c >= 'A' && c <= 'Z'; };
    for (std::size_t at = text.find("ZH"); at != std::string_view::npos; at = text.find("ZH", at + 1)) {
        if ((at == 0 || !isCapital(text[at - 1])) && (at + 2 == text.size() || !isCapital(text[at + 2]))) {
            return true;
        }
    }
    return false;
}

bool IsReadMe(std::string_view name) {
    const std::string lower = AsciiLowerCase(name);
    for (std::string_view extension : {".txt", ".rtf", ".nfo", ".htm", ".html", ".md"}) {
        if (lower.ends_with(extension)) {
            return true;
        }
    }
    return false;
}

class Importer {
public:
    Importer(const ProgramValues& values, const ImportServices& services, const ImportRequest& request)
        : values_(values), services_(services), files_(services.files), request_(request) {}

    ImportResult Run() {
        bool done = false;
        try {
            done = Prepare() && Unpack() && Place() && Finish();
        } catch (const std::exception& error) {
            Fail(std::string("The import stopped: ") + error.what() + ". Nothing of it was kept.");
        }
        if (!done) {
            TakeAway();
        }
        result_.ok = done;
        return std::move(result_);
    }

private:
    // Only what this import made goes: its own folder, and the mods folder when it made it and it is
    // empty again (another import may have put a mod there meanwhile).
    void TakeAway() {
        if (!temporary_.empty()) {
            files_.RemoveTree(temporary_);
        }
        if (createdMods_) {
            files_.RemoveEmptyFolder(ImportedModsFolder(values_));
        }
    }

    bool Fail(std::string why) {
        result_.error = std::move(why);
        return false;
    }

    bool Prepare() {
        const std::string_view source = request_.source;
        const std::string_view leaf = LastWindowsName(source);
        result_.name = request_.name.empty() ? ModNameFromDownload(leaf) : request_.name;
        const std::string& name = result_.name;
        if (name.empty()) {
            return Fail("No name for the mod could be made from " + Quoted(leaf) + "; give one.");
        }
        if (!IsValidModTitle(name) || !WhyNotAWindowsName(name).empty() ||
            name.find('.') != std::string::npos || !Windows1252FromUtf8(name)) {
            return Fail(
                "The name " + Quoted(name) +
                " cannot be a mod's name: it must be a Windows file name without dots, in the characters "
                "of the game's code page.");
        }
        for (std::int16_t i = 0; i < values_.nModCount; ++i) {
            if (EqualsIgnoringCase(values_.Mods[static_cast<std::size_t>(i)].szName, name)) {
                result_.nameTaken = true;
                return Fail("A mod named " + Quoted(values_.Mods[static_cast<std::size_t>(i)].szName) +
                            " exists already; it was left as it is. Give the import another name.");
            }
        }
        result_.definition =
            JoinWindowsPath(values_.definitionFolder, name + std::string(kDefinitionExtension));
        if (files_.KindOf(result_.definition) != EntryKind::None) {
            result_.nameTaken = true;
            return Fail("A mod named " + Quoted(name) + " exists already (" + result_.definition +
                        "); it was left as it is. Give the import another name.");
        }
        if (request_.game && InstallFolderOf(values_, *request_.game).empty()) {
            return Fail(std::string(GameName(*request_.game)) +
                        " was not found on this machine, so where the mod's "
                        "files go cannot be told.");
        }
        const EntryKind kind = files_.KindOf(source);
        if (kind == EntryKind::None) {
            return Fail("There is no file or folder " + Quoted(source) + ".");
        }
        const std::string lower = AsciiLowerCase(leaf);
        if (kind == EntryKind::File && (lower.ends_with(".exe") || lower.ends_with(".msi"))) {
            return Fail(
                Quoted(leaf) +
                " is an installer, not an archive. Run it first; then import the folder it installed the mod "
                "into.");
        }
        const std::string sourceKey = WindowsPathKey(source);
        const std::string modsKey = WindowsPathKey(ImportedModsFolder(values_));
        if (sourceKey == modsKey || IsInsideKey(sourceKey, modsKey) || IsInsideKey(modsKey, sourceKey)) {
            return Fail(Quoted(source) +
                        " is Vantrel's own mods folder or lies in it; import a download from "
                        "elsewhere.");
        }
        zeroHourNamed_ = MentionsZeroHour(leaf);
        source_ = kind == EntryKind::Folder ? files_.OpenFolder(source) : files_.OpenArchive(source);
        if (!source_) {
            return Fail(Quoted(source) + " cannot be read: " + files_.LastError());
        }
        const std::string mods = ImportedModsFolder(values_);
        result_.modFolder = JoinWindowsPath(mods, name);
        if (files_.KindOf(result_.modFolder) != EntryKind::None) {
            result_.nameTaken = true;
            return Fail(
                "The folder " + Quoted(result_.modFolder) +
                " exists already; it was left as it is. Move it away or give the import another name.");
        }
        if (files_.KindOf(mods) == EntryKind::None) {
            if (!files_.CreateFolder(mods)) {
                return Fail("The folder " + Quoted(mods) + " could not be created: " + files_.LastError());
            }
            createdMods_ = true;
        }
        // A folder of its own, never one that is there already: an import killed on its way leaves its
        // folder, which may be what is imported now, and another import may be going on.
        for (int attempt = 1;; ++attempt) {
            const std::string candidate =
                result_.modFolder + ".importing" + (attempt == 1 ? "" : std::to_string(attempt));
            if (files_.KindOf(candidate) == EntryKind::None && files_.CreateFolder(candidate)) {
                temporary_ = candidate;
                return true;
            }
            if (attempt == 100) {
                return Fail("No folder for unpacking could be made beside " + Quoted(result_.modFolder) +
                            ": " + files_.LastError());
            }
        }
    }

    bool Tell() {
        if (services_.progress && !services_.progress({source_->BytesRead(), source_->BytesInAll()})) {
            result_.cancelled = true;
            return Fail("The import was cancelled; nothing of it was kept.");
        }
        return true;
    }

    // Room for `more` bytes on the disk, asked of the system again only when the last answer is used up.
    bool HasRoom(std::uint64_t more, std::string_view what, std::uint64_t size) {
        if (more <= room_) {
            return true;
        }
        room_ = files_.FreeSpace(temporary_).value_or(UINT64_MAX);
        if (more <= room_) {
            return true;
        }
        return Fail("The mod unpacks to more than the disk has room for: " + Quoted(what) + " alone is " +
                    SizeText(size) + ", but the disk that holds " + Quoted(ImportedModsFolder(values_)) +
                    " has only " + SizeText(room_) + " free (after " + SizeText(written_) +
                    " unpacked before it). Nothing of the mod was kept.");
    }

    // The folder `names[0..count)` below the mod's folder, created where missing; its spelling as made.
    bool FolderOf(const std::vector<std::string>& names, std::size_t count, std::string& path) {
        path.clear();
        for (std::size_t i = 0; i < count; ++i) {
            const std::string wanted = path.empty() ? names[i] : path + "\\" + names[i];
            const auto [it, added] = seen_.try_emplace(NameOrderKey(wanted), unpacked_.size());
            if (!added) {
                const ModTreeEntry& there = unpacked_[it->second];
                if (!there.folder) {
                    return Fail("The archive holds " + Quoted(there.path) +
                                " both as a file and as a folder.");
                }
                path = there.path; // spelled as first seen: Windows takes both for one folder
                continue;
            }
            path = wanted;
            unpacked_.push_back({path, true});
            if (!files_.CreateFolder(temporary_ + "\\" + path)) {
                return Fail("The folder " + Quoted(path) + " could not be created: " + files_.LastError());
            }
        }
        return true;
    }

    bool Unpack() {
        SourceEntry entry;
        std::string why;
        for (;;) {
            const ModSource::Step step = source_->Next(entry, why);
            if (step == ModSource::Step::End) {
                break;
            }
            if (step == ModSource::Step::Failed) {
                return Fail(Quoted(request_.source) + " cannot be unpacked: " + why +
                            ". Nothing of it was kept.");
            }
            const std::string shown = NameAsUtf8(entry.name, entry.legacyCodePage);
            std::string unsafe;
            const std::vector<std::string> names = SafeEntryPath(shown, unsafe);
            if (names.empty()) {
                // "./", which archives made of a folder's content begin with, is the mod's folder itself.
                if (entry.kind != SourceEntry::Kind::Folder ||
                    shown.find_first_not_of("./\\") != std::string::npos) {
                    result_.notUnpacked.push_back(shown + ": " + unsafe);
                }
                continue;
            }
            if (entry.kind == SourceEntry::Kind::Link || entry.kind == SourceEntry::Kind::Other) {
                result_.notUnpacked.push_back(
                    shown + (entry.kind == SourceEntry::Kind::Link ? ": a link" : ": a device or pipe"));
                continue;
            }
            if (entry.encrypted) {
                return Fail(
                    Quoted(LastWindowsName(request_.source)) + " holds encrypted files (" + shown +
                    "), which Vantrel cannot unpack. Unpack it with its password, then import the folder.");
            }
            zeroHourNamed_ = zeroHourNamed_ || MentionsZeroHour(shown);
            const bool folder = entry.kind == SourceEntry::Kind::Folder;
            std::string parent;
            if (!FolderOf(names, folder ? names.size() : names.size() - 1, parent)) {
                return false;
            }
            if (!folder && !WriteFile(entry, parent, names.back(), why)) {
                return false;
            }
            if (!Tell()) {
                return false;
            }
        }
        if (unpacked_.empty()) {
            return Fail(Quoted(LastWindowsName(request_.source)) + " holds no files that could be unpacked.");
        }
        return true;
    }

    bool WriteFile(const SourceEntry& entry, const std::string& parent, const std::string& name,
                   std::string& why) {
        const std::string path = parent.empty() ? name : parent + "\\" + name;
        const auto [it, added] = seen_.try_emplace(NameOrderKey(path), unpacked_.size());
        if (!added) {
            return Fail("The archive holds both " + Quoted(unpacked_[it->second].path) + " and " +
                        Quoted(path) + ", which Windows takes for one name.");
        }
        unpacked_.push_back({path, false});
        if (entry.sizeKnown && !HasRoom(entry.size, path, entry.size)) {
            return false;
        }
        const auto file = files_.CreateFile(temporary_ + "\\" + path);
        if (!file) {
            return Fail("The file " + Quoted(path) + " could not be created: " + files_.LastError());
        }
        const bool sniff = !zeroHourNamed_ && IsReadMe(name);
        std::string start;
        std::uint64_t size = 0;
        std::uint64_t told = written_;
        bool failed = false;
        const bool read = source_->ReadData(
            [&](const char* data, std::size_t length) {
                size += length;
                if (length > room_ && !HasRoom(length, path, std::max(size, entry.size))) {
                    failed = true;
                    return false;
                }
                if (!file->Write(data, length)) {
                    failed = true;
                    Fail("The file " + Quoted(path) + " could not be written: " + files_.LastError());
                    return false;
                }
                if (sniff && start.size() < kReadMeSniff) {
                    start.append(data, std::min(length, kReadMeSniff - start.size()));
                }
                written_ += length;
                room_ -= length;
                if (written_ - told >= kProgressStep) {
                    told = written_;
                    if (!Tell()) {
                        failed = true;
                        return false;
                    }
                }
                return true;
            },
            why);
        if (failed) {
            return false;
        }
        if (!read) {
            return Fail(Quoted(path) + " in " + Quoted(LastWindowsName(request_.source)) +
                        " cannot be unpacked: " + why + ". Nothing of it was kept.");
        }
        if (!file->Finish()) {
            return Fail("The file " + Quoted(path) + " could not be written: " + files_.LastError());
        }
        zeroHourNamed_ = zeroHourNamed_ || (sniff && MentionsZeroHour(start));
        return true;
    }

    bool Place() {
        result_.game = request_.game.value_or(zeroHourNamed_ ? GameId::ZeroHour : GameId::Generals);
        const std::string& install = InstallFolderOf(values_, result_.game);
        // Without the game's folder on this machine, which of its folders the mod's would replace is
        // not known.
        if (install.empty()) {
            return Fail(std::string(GameName(result_.game)) +
                        " was not found on this machine, so where the mod's "
                        "files go cannot be told. Nothing of it was kept.");
        }
        const std::string userData = services_.userDataFolder ? services_.userDataFolder(result_.game) : "";
        const GameProbe installHas = [&](std::string_view path) {
            return files_.KindOf(JoinWindowsPath(install, path));
        };
        // Unknown, the user data folder is taken to have its Maps, as every folder the game has run with.
        const GameProbe userDataHas = [&](std::string_view path) {
            return userData.empty() ? EntryKind::Folder : files_.KindOf(JoinWindowsPath(userData, path));
        };
        ModPlacement placement = PlanPlacement(unpacked_, result_.game, installHas, userDataHas);
        for (const ModMove& move : placement.moves) {
            if (!MakeFoldersAbove(move.to) ||
                !files_.Rename(temporary_ + "\\" + move.from, temporary_ + "\\" + move.to)) {
                return Fail(Quoted(move.from) + " could not be moved to " + Quoted(move.to) + ": " +
                            files_.LastError());
            }
        }
        result_.leftOut.insert(result_.leftOut.end(), placement.leftOut.begin(), placement.leftOut.end());
        result_.needsItsOwnProgram = placement.needsItsOwnProgram;
        for (PlannedPair& pair : placement.pairs) {
            const std::string source = JoinWindowsPath(result_.modFolder, pair.source);
            if (!Windows1252FromUtf8(source)) {
                result_.leftOut.push_back(pair.source +
                                          ": a name the game cannot read (a character outside its "
                                          "code page)");
                continue;
            }
            const bool intoInstall = pair.destination.starts_with(InstallPlaceholder(result_.game));
            const std::string_view below = std::string_view(pair.destination)
                                               .substr((intoInstall ? InstallPlaceholder(result_.game)
                                                                    : UserDataPlaceholder(result_.game))
                                                           .size());
            const std::string where =
                std::string(GamesOwn(result_.game)) + (intoInstall ? " folder" : " user data folder");
            result_.placed.push_back(pair.source + " \xE2\x86\x92 " +
                                     (below.empty() ? where : where + ", " + std::string(below)));
            sources_.push_back(source);
            destinations_.push_back(std::move(pair.destination));
        }
        if (sources_.size() > static_cast<std::size_t>(kMaxEntries)) {
            return Fail("The mod would need " + std::to_string(sources_.size()) +
                        " files and folders placed one by one; a mod holds at most " +
                        std::to_string(kMaxEntries) + ".");
        }
        if (sources_.empty() && !result_.needsItsOwnProgram) {
            return Fail(
                Quoted(LastWindowsName(request_.source)) +
                " holds nothing that Generals or Zero Hour reads (no BIG file, no Data, Art, Window or Maps "
                "folder, no game files). Nothing of it was kept.");
        }
        return true;
    }

    bool MakeFoldersAbove(const std::string& path) {
        for (std::size_t slash = path.find('\\'); slash != std::string::npos;
             slash = path.find('\\', slash + 1)) {
            const std::string folder = temporary_ + "\\" + path.substr(0, slash);
            if (files_.KindOf(folder) == EntryKind::None && !files_.CreateFolder(folder)) {
                return false;
            }
        }
        return true;
    }

    bool Finish() {
        if (!Tell()) {
            return false;
        }
        if (!files_.Rename(temporary_, result_.modFolder)) {
            return Fail("The folder " + Quoted(result_.modFolder) +
                        " could not be made: " + files_.LastError());
        }
        // From here the mod's folder is in place; a failure takes it away again.
        temporary_ = result_.modFolder;
        if (files_.KindOf(result_.definition) != EntryKind::None) {
            return Fail("A mod named " + Quoted(result_.name) + " was made meanwhile; it was left as it is.");
        }
        if (!WriteModDefinition(services_.textFiles, services_.messages, values_.definitionFolder,
                                result_.name, "", sources_, destinations_, false)) {
            return Fail("The definition " + Quoted(result_.definition) + " could not be written.");
        }
        return true;
    }

    const ProgramValues& values_;
    const ImportServices& services_;
    ImportFiles& files_;
    const ImportRequest& request_;
    ImportResult result_;
    std::unique_ptr<ModSource> source_;
    std::string temporary_;
    std::vector<ModTreeEntry> unpacked_; // below the mod's folder, spelled as created
    std::unordered_map<std::u16string, std::size_t> seen_;
    std::vector<std::string> sources_;
    std::vector<std::string> destinations_;
    std::uint64_t room_ = 0;
    std::uint64_t written_ = 0;
    bool zeroHourNamed_ = false;
    bool createdMods_ = false; // the mods folder is this import's, to be taken away with it
};

} // namespace

std::string ImportedModsFolder(const ProgramValues& values) {
    return JoinWindowsPath(values.definitionFolder, "Mods");
}

ImportResult ImportMod(const ProgramValues& values, const ImportServices& services,
                       const ImportRequest& request) {
    return Importer(values, services, request).Run();
}

std::string SizeText(std::uint64_t bytes) {
    const char* units[] = {"bytes", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1000 && unit + 1 < std::size(units)) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

std::string ImportSummary(const ImportResult& result) {
    if (!result.ok) {
        return result.error;
    }
    std::string summary = "Imported " + Quoted(result.name) + " for " + std::string(GameName(result.game)) +
                          " into " + Quoted(result.modFolder) + ".";
    if (result.needsItsOwnProgram) {
        summary += "\nThe mod comes with a program of its own and nothing else the game loads: start that "
                   "program from the mod's folder to play it.";
    }
    // A mod of thousands of files is summed up, not listed whole.
    constexpr std::size_t kShown = 30;
    const auto list = [&](const char* heading, const std::vector<std::string>& lines) {
        if (lines.empty()) {
            return;
        }
        summary += heading;
        for (std::size_t i = 0; i < lines.size() && i < kShown; ++i) {
            summary += "\n  " + lines[i];
        }
        if (lines.size() > kShown) {
            summary += "\n  … and " + std::to_string(lines.size() - kShown) + " more";
        }
    };
    list("\nPlaced when played:", result.placed);
    list("\nNot unpacked, since it could reach outside the mod's folder or is no file:", result.notUnpacked);
    list("\nKept in the mod's folder but not placed into the game:", result.leftOut);
    return summary;
}

} // namespace vantrel
