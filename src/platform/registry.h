// Read access to the registry, where the games and the stores that sell them record their folders.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

enum class RegistryRoot { LocalMachine, CurrentUser };

// Which of a 64-bit system's two views of HKEY_LOCAL_MACHINE\Software: the one 32-bit programs get
// (Wow6432Node) or the 64-bit one. One view only on a 32-bit system.
enum class RegistryView { Bits32, Bits64 };

struct RegistryQuery {
    RegistryRoot root = RegistryRoot::LocalMachine;
    RegistryView view = RegistryView::Bits32;
    std::string keyPath;
    std::string valueName;
};

class Registry {
public:
    Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;
    virtual ~Registry() = default;

    // The string value `valueName` of HKEY_LOCAL_MACHINE\`keyPath` in the view a 32-bit program gets,
    // as UTF-8; nullopt when the key or value is missing, unreadable, or its ANSI form exceeds 255 bytes.
    [[nodiscard]] virtual std::optional<std::string> ReadMachineString(std::string_view keyPath,
                                                                       std::string_view valueName) = 0;

    // Each query's string value, in order, by the rules of ReadMachineString; asked together so that a
    // registry kept in files is gone through once for all of them.
    [[nodiscard]] virtual std::vector<std::optional<std::string>> ReadStrings(
        std::span<const RegistryQuery> queries) = 0;
};

} // namespace vantrel
