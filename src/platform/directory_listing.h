// Lists the files of a folder that match a wildcard pattern.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class DirectoryListing {
public:
    DirectoryListing() = default;
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;
    virtual ~DirectoryListing() = default;

    // Names (without folder) of the ordinary files matching `pattern` (a Windows path whose last part
    // may hold * and ?, matched without regard to case), hidden and system files and folders left out,
    // in the order the system lists them. An unreadable or missing folder gives an empty list.
    [[nodiscard]] virtual std::vector<std::string> ListFiles(std::string_view pattern) = 0;
};

} // namespace vantrel
