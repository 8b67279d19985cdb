// Read access to the machine-wide registry, where the games record their install folders.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

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
};

} // namespace vantrel
