#include "platform/wine/wine_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/case_fold.h"
#include "platform/codepage_1252.h"
#include "platform/utf8.h"
#include "platform/wine/host_files.h"

namespace vantrel {
namespace {

// The largest value that fits the 256-byte buffer of the games' lookup, its NUL included.
constexpr std::size_t kMaxAnsiLength = 255;

// The key a 32-bit program reaches in a 64-bit prefix: Software\X is redirected to
// Software\Wow6432Node\X.
std::optional<std::string> Wow64Key(std::string_view keyPath) {
    const std::size_t slash = keyPath.find('\\');
    if (slash == std::string_view::npos || !EqualsIgnoringCase(keyPath.substr(0, slash), "Software")) {
        return std::nullopt;
    }
    return std::string(keyPath.substr(0, slash)) + "\\Wow6432Node" + std::string(keyPath.substr(slash));
}

} // namespace

WineRegistry::File& WineRegistry::Loaded(RegistryRoot root) {
    File& file = root == RegistryRoot::CurrentUser ? user_ : machine_;
    if (file.loaded) {
        return file;
    }
    file.loaded = true;
    const char* name = root == RegistryRoot::CurrentUser ? "/user.reg" : "/system.reg";
    const UniqueFd fd(open((prefix_.Root() + name).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd.Valid() || fstat(fd.Get(), &info) != 0 || info.st_size <= 0) {
        return file;
    }
    // One read of the size the file has, into a buffer left uninitialised since the read fills it.
    const auto size = static_cast<std::size_t>(info.st_size);
    file.bytes.reset(new char[size]);
    const auto read = ReadUpTo(fd.Get(), file.bytes.get(), size);
    if (!read) {
        return file; // unreadable: nothing is installed, as when the file is missing
    }
    file.size = *read;
    file.isRegistry = IsWineRegistryFile(file.Text());
    file.win64 = file.isRegistry && IsWin64Registry(file.Text());
    return file;
}

std::vector<std::string> WineRegistry::Candidates(const File& file, const RegistryQuery& query) const {
    std::vector<std::string> candidates;
    if (query.root == RegistryRoot::LocalMachine && query.view == RegistryView::Bits32 && file.win64) {
        if (auto redirected = Wow64Key(query.keyPath)) {
            candidates.push_back(std::move(*redirected));
        }
    }
    candidates.push_back(query.keyPath);
    return candidates;
}

void WineRegistry::Search(File& file, const std::vector<std::string>& keyPaths) {
    std::vector<std::string> unsearched;
    const auto known = [&](std::string_view parent) {
        for (const auto& done : file.searchedParents) {
            if (EqualsIgnoringCase(done, parent)) {
                return true;
            }
        }
        for (const auto& key : unsearched) {
            if (EqualsIgnoringCase(RegistryKeyParent(key), parent)) {
                return true;
            }
        }
        return false;
    };
    for (const auto& keyPath : keyPaths) {
        if (!known(RegistryKeyParent(keyPath))) {
            unsearched.push_back(keyPath);
        }
    }
    if (unsearched.empty()) {
        return;
    }
    for (auto& key : FindSiblingKeys(file.Text(), unsearched)) {
        file.keys.push_back(std::move(key));
    }
    for (const auto& key : unsearched) {
        file.searchedParents.emplace_back(RegistryKeyParent(key));
    }
}

std::optional<std::string> WineRegistry::Answer(const File& file, const std::vector<std::string>& candidates,
                                                std::string_view valueName) const {
    // In order of preference: the first key present answers, even without the value, as on Windows.
    std::optional<RegistryString> found;
    for (const auto& candidate : candidates) {
        for (const auto& key : file.keys) {
            if (EqualsIgnoringCase(key.path, candidate)) {
                found = ReadKeyString(file.Text(), key.values, valueName);
                break;
            }
        }
        if (found) {
            break;
        }
    }
    if (!found || found->lookup != RegistryLookup::Found) {
        return std::nullopt;
    }
    // What the games' ANSI lookup would hand over: unmappable characters become '?'.
    const std::string ansi = Windows1252FromUtf8Lossy(found->text);
    if (ansi.size() > kMaxAnsiLength) {
        return std::nullopt;
    }
    std::string text;
    AppendUtf8FromWindows1252(ansi, text);
    return text;
}

std::optional<std::string> WineRegistry::ReadMachineString(std::string_view keyPath, std::string_view valueName) {
    const RegistryQuery query{RegistryRoot::LocalMachine, RegistryView::Bits32, std::string(keyPath),
                              std::string(valueName)};
    return ReadStrings({&query, 1}).front();
}

std::vector<std::optional<std::string>> WineRegistry::ReadStrings(std::span<const RegistryQuery> queries) {
    std::vector<std::optional<std::string>> answers(queries.size());
    for (const auto root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
        // A hive is loaded only when a query asks for it.
        if (std::none_of(queries.begin(), queries.end(), [&](const RegistryQuery& query) { return query.root == root; })) {
            continue;
        }
        File& file = Loaded(root);
        if (!file.isRegistry) {
            continue;
        }
        std::vector<std::vector<std::string>> candidates(queries.size());
        std::vector<std::string> all;
        for (std::size_t i = 0; i < queries.size(); ++i) {
            if (queries[i].root == root) {
                candidates[i] = Candidates(file, queries[i]);
                all.insert(all.end(), candidates[i].begin(), candidates[i].end());
            }
        }
        if (all.empty()) {
            continue;
        }
        Search(file, all);
        for (std::size_t i = 0; i < queries.size(); ++i) {
            if (!candidates[i].empty()) {
                answers[i] = Answer(file, candidates[i], queries[i].valueName);
            }
        }
    }
    return answers;
}

} // namespace vantrel
