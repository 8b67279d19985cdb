#include "platform/wine/wine_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

void WineRegistry::Load() {
    loaded_ = true;
    const UniqueFd fd(open((prefix_.Root() + "/system.reg").c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd.Valid() || fstat(fd.Get(), &info) != 0 || info.st_size <= 0) {
        return;
    }
    // One read of the size the file has, into a buffer left uninitialised since the read fills it.
    const auto size = static_cast<std::size_t>(info.st_size);
    bytes_.reset(new char[size]);
    while (size_ < size) {
        const ssize_t got = read(fd.Get(), bytes_.get() + size_, size - size_);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            size_ = 0; // unreadable: nothing is installed, as when the file is missing
            return;
        }
        if (got == 0) {
            break;
        }
        size_ += static_cast<std::size_t>(got);
    }
    isRegistry_ = IsWineRegistryFile(Text());
    win64_ = isRegistry_ && IsWin64Registry(Text());
}

std::optional<std::string> WineRegistry::ReadMachineString(std::string_view keyPath, std::string_view valueName) {
    if (!loaded_) {
        Load();
    }
    if (!isRegistry_) {
        return std::nullopt;
    }
    // In order of preference: the first key present answers, even without the value, as on Windows.
    std::vector<std::string> candidates;
    if (win64_) {
        if (auto redirected = Wow64Key(keyPath)) {
            candidates.push_back(std::move(*redirected));
        }
    }
    candidates.emplace_back(keyPath);

    std::vector<std::string> unsearched;
    const auto known = [&](std::string_view parent) {
        for (const auto& done : searchedParents_) {
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
    for (const auto& candidate : candidates) {
        if (!known(RegistryKeyParent(candidate))) {
            unsearched.push_back(candidate);
        }
    }
    if (!unsearched.empty()) {
        for (auto& key : FindSiblingKeys(Text(), unsearched)) {
            keys_.push_back(std::move(key));
        }
        for (const auto& key : unsearched) {
            searchedParents_.emplace_back(RegistryKeyParent(key));
        }
    }

    std::optional<RegistryString> found;
    for (const auto& candidate : candidates) {
        for (const auto& key : keys_) {
            if (EqualsIgnoringCase(key.path, candidate)) {
                found = ReadKeyString(Text(), key.values, valueName);
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

} // namespace vantrel
