// The registry of a Wine prefix, read from its system.reg (HKEY_LOCAL_MACHINE) and user.reg
// (HKEY_CURRENT_USER).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/wine/registry_file.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

class WineRegistry final : public Registry {
public:
    explicit WineRegistry(const WinePrefix& prefix) : prefix_(prefix) {}

    [[nodiscard]] std::optional<std::string> ReadMachineString(std::string_view keyPath,
                                                               std::string_view valueName) override;
    // In a 64-bit prefix the 64-bit view is the plain key and the 32-bit view the key under
    // Wow6432Node, else the plain one; HKCU\Software has one view, as on Windows.
    [[nodiscard]] std::vector<std::optional<std::string>> ReadStrings(
        std::span<const RegistryQuery> queries) override;

private:
    // One of the prefix's registry files, read once, on first use.
    struct File {
        bool loaded = false;
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
        bool isRegistry = false;
        bool win64 = false;
        // A lookup finds every sibling of its keys in the same pass (the games' keys share a parent),
        // so a later lookup under a parent already searched needs no pass of its own.
        std::vector<std::string> searchedParents;
        std::vector<RegistryKey> keys; // the siblings found, each pass's in file order

        [[nodiscard]] std::string_view Text() const { return {bytes.get(), size}; }
    };

    File& Loaded(RegistryRoot root);
    // The keys that answer a query, in order of preference: the first present answers.
    [[nodiscard]] std::vector<std::string> Candidates(const File& file, const RegistryQuery& query) const;
    // Searches, in one pass, the parents of those keys not searched before.
    void Search(File& file, const std::vector<std::string>& keyPaths);
    [[nodiscard]] std::optional<std::string> Answer(const File& file, const std::vector<std::string>& candidates,
                                                    std::string_view valueName) const;

    const WinePrefix& prefix_;
    File machine_;
    File user_;
};

} // namespace vantrel
