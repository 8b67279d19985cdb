#include "platform/wine/wine_directory_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include "platform/case_fold.h"
#include "platform/wine/host_files.h"

namespace vantrel {

std::vector<std::string> WineDirectoryListing::ListFiles(std::string_view pattern) {
    const std::size_t slash = pattern.find_last_of("\\/");
    const std::string_view mask = slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
    const std::string_view folder = slash == std::string_view::npos ? std::string_view(".") : pattern.substr(0, slash + 1);
    const auto hostFolder = prefix_.ToHostPath(folder);
    if (!hostFolder) {
        return {};
    }
    DIR* dir = opendir(hostFolder->c_str());
    if (!dir) {
        return {};
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (IsHiddenName(name) || !MatchesWildcard(mask, name)) {
            continue;
        }
        bool isFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            isFile = fstatat(dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
        }
        if (isFile) {
            names.emplace_back(name);
        }
    }
    closedir(dir);
    SortLikeNtfs(names);
    return names;
}

} // namespace vantrel
