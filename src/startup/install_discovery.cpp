#include "startup/install_discovery.h"

namespace vantrel {

std::string ReadInstallFolder(Registry& registry, std::string_view key) {
    return registry.ReadMachineString(key, kInstallPathValue).value_or(std::string());
}

void DiscoverInstallFolders(Registry& registry, ProgramValues& values) {
    values.szGeneralsPath = ReadInstallFolder(registry, kGeneralsKey);
    values.szZeroHourPath = ReadInstallFolder(registry, kZeroHourKey);
}

} // namespace vantrel
