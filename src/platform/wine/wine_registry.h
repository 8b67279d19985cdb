// The machine registry of a Wine prefix, read from its system.reg.
#pragma once

#include <optional>
#include <string>

#include "platform/registry.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

class WineRegistry final : public Registry {
public:
    explicit WineRegistry(const WinePrefix& prefix) : prefix_(prefix) {}

    [[nodiscard]] std::optional<std::string> ReadMachineString(std::string_view keyPath,
                                                               std::string_view valueName) override;

private:
    const WinePrefix& prefix_;
    std::optional<std::string> fileText_; // read once, on first use
};

} // namespace vantrel
