#include "platform/wine/machine_memory.h"

#include "platform/wine/host_files.h"

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vantrel {

namespace {

// Which registry files the prefix has now: Wine writes them anew whenever a program changed them, and
// a Steam installed in the prefix records its games in user.reg.
std::string RegistryStamp(std::string_view prefix) {
    std::string stamp;
    for (const char* name : {"/system.reg", "/user.reg"}) {
        struct stat info {};
        if (stat((std::string(prefix) + name).c_str(), &info) != 0) {
            stamp += "-:";
            continue;
        }
        stamp += std::to_string(info.st_dev) + "." + std::to_string(info.st_ino) + "." +
                 std::to_string(info.st_size) + "." + std::to_string(info.st_mtim.tv_sec) + "." +
                 std::to_string(info.st_mtim.tv_nsec) + ":";
    }
    return stamp;
}

// Both files hold a line or a few dozen.
constexpr std::size_t kMemoryFileLimit = 1 << 20;

std::string ReadAll(const std::string& file) {
    return file.empty() ? std::string() : ReadSmallHostFile(file, kMemoryFileLimit).value_or("");
}

// Written beside the file and renamed over it, so that a reader never sees half of it.
bool ReplaceFile(const std::string& file, const std::string& text) {
    if (file.empty()) {
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(ParentOf(file), error);
    std::string temporary = file + ".XXXXXX";
    UniqueFd fd(mkstemp(temporary.data()));
    if (!fd.Valid()) {
        return false;
    }
    const bool written =
        write(fd.Get(), text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fd.Close();
    if (!written || std::rename(temporary.c_str(), file.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

MachineMemoryFiles MachineMemoryFilesFromEnvironment() {
    // Without a home folder nothing is kept: each start looks anew.
    const std::string config = XdgBaseDirectory("XDG_CONFIG_HOME", "/.config");
    const std::string cache = XdgBaseDirectory("XDG_CACHE_HOME", "/.cache");
    return {config.empty() ? config : config + "/vantrel/machine",
            cache.empty() ? cache : cache + "/vantrel/machines"};
}

std::string ReadChosenMachine(const std::string& file) {
    std::string text = ReadAll(file);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

bool WriteChosenMachine(const std::string& file, std::string_view prefix) {
    return ReplaceFile(file, std::string(prefix) + "\n");
}

HoldsRecords::HoldsRecords(std::string file) : file_(std::move(file)), text_(ReadAll(file_)) {}

std::optional<bool> HoldsRecords::Find(std::string_view prefix) {
    const std::string& stamp =
        seen_.insert_or_assign(std::string(prefix), RegistryStamp(prefix)).first->second;
    const std::string wanted = "\t" + stamp + "\t" + std::string(prefix) + "\n";
    // Each line is "<0 or 1><wanted>".
    for (std::size_t at = text_.find(wanted); at != std::string::npos; at = text_.find(wanted, at + 1)) {
        if (at > 0 && (at == 1 || text_[at - 2] == '\n') && (text_[at - 1] == '0' || text_[at - 1] == '1')) {
            return text_[at - 1] == '1';
        }
    }
    return std::nullopt;
}

void HoldsRecords::Record(std::string_view prefix, bool holds) {
    if (prefix.find_first_of("\t\n") != std::string_view::npos) {
        return;
    }
    // The lines of the other prefixes that are still there stay; this prefix's earlier line goes.
    std::string text;
    std::istringstream lines(text_);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tab = line.find('\t', 2);
        if (tab != std::string::npos && line.compare(tab + 1, std::string::npos, prefix) != 0 &&
            PathExists(line.substr(tab + 1) + "/system.reg")) {
            text += line + "\n";
        }
    }
    const auto seen = seen_.find(prefix);
    text += std::string(holds ? "1" : "0") + "\t" +
            (seen == seen_.end() ? RegistryStamp(prefix) : seen->second) + "\t" + std::string(prefix) + "\n";
    text_ = std::move(text);
    (void)ReplaceFile(file_, text_);
}

} // namespace vantrel
