#include "mods/program_values.h"

#include <utility>

namespace vantrel {

void ResetCatalogue(ProgramValues& values) {
    values.nModCount = 0;
    values.Mods.assign(1, ModRecord{});
}

bool AddToCatalogue(ProgramValues& values, ModRecord record) {
    if (values.nModCount >= kMaxEntries) {
        return false;
    }
    const auto index = static_cast<std::size_t>(values.nModCount);
    if (values.Mods.size() < index + 1) {
        values.Mods.resize(index + 1);
    }
    values.Mods[index] = std::move(record);
    ++values.nModCount;
    return true;
}

} // namespace vantrel
