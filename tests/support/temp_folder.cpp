#include "support/temp_folder.h"

#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace vantrel::test {

TempFolder::TempFolder() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("vantrel-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = std::move(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
    try {
        RemoveTree(path_);
    } catch (const std::exception&) {
        // What cannot be removed stays in the temporary folder; a destructor must not throw.
    }
}

void RemoveTree(const std::filesystem::path& path) {
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add | std::filesystem::perm_options::nofollow,
                                     ignored);
    }
    std::filesystem::remove_all(path);
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return std::move(text).str();
}

std::string DescribeTree(const std::filesystem::path& folder) {
    std::set<std::string> lines;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const auto relative = entry.path().lexically_relative(folder).generic_string();
        if (entry.is_directory()) {
            lines.insert(relative + "/");
        } else {
            const auto perms = entry.status().permissions();
            const bool readOnly = (perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
            lines.insert(relative + (readOnly ? " [ro] " : " ") + ReadBytes(entry.path()));
        }
    }
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

} // namespace vantrel::test
