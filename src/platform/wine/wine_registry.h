// The machine registry of a Wine prefix, read from its system.reg.
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

private:
    void Load();
    [[nodiscard]] std::string_view Text() const { return {bytes_.get(), size_}; }

    const WinePrefix& prefix_;
    bool loaded_ = false; // the file is read once, on first use
    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0;
    bool isRegistry_ = false;
    bool win64_ = false;
    // A lookup finds every sibling of its key in the same pass (the games' keys share a parent), so a
    // later lookup under a parent already searched needs no pass of its own.
    std::vector<std::string> searchedParents_;
    std::vector<RegistryKey> keys_; // the siblings found, each pass's in file order
};

} // namespace vantrel
