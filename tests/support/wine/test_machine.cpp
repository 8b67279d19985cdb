#include "support/test_machine.h"
#include "support/killing_wrappers.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "platform/wine/wine_import_files.h"
#include "platform/wine/wine_directory_listing.h"
#include "platform/wine/wine_disk_browser.h"
#include "platform/wine/wine_game_files.h"
#include "platform/wine/wine_launch_lock.h"
#include "platform/wine/wine_process_runner.h"
#include "platform/wine/wine_registry.h"
#include "platform/wine/wine_single_files.h"
#include "platform/wine/wine_swap_file_system.h"
#include "platform/wine/wine_text_files.h"

namespace vantrel::test {

void KillThisProcess() {
    raise(SIGKILL);
    _exit(137);
}

struct TestMachine::Impl {
    Impl(const std::filesystem::path& root, std::string home) : prefix(root.string()), gameFiles(prefix, std::move(home)) {}
    WinePrefix prefix;
    WineTextFiles textFiles{prefix};
    WineDirectoryListing listing{prefix};
    WineSingleFiles singleFiles{prefix};
    WineSwapFileSystem swapFiles{prefix};
    WineProcessRunner processRunner{prefix};
    WineDiskBrowser diskBrowser{prefix};
    WineLaunchLock launchLock{prefix};
    WineGameFiles gameFiles;
    std::unique_ptr<WineRegistry> registry = std::make_unique<WineRegistry>(prefix);
    std::unique_ptr<ImportFiles> importFiles = MakeWineImportFiles(prefix);
};

namespace {

std::string EscapeRegistry(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out;
}

} // namespace

TestMachine::TestMachine() {
    const auto prefix = folder_.Path() / "prefix";
    std::filesystem::create_directories(prefix / "drive_c");
    std::filesystem::create_directories(prefix / "dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
    impl_ = std::make_unique<Impl>(prefix, (prefix / "drive_c" / "home").string());
}

TestMachine::~TestMachine() = default;

std::string TestMachine::WindowsPath(std::string_view relative) const {
    std::string path = "C:\\" + std::string(relative);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::filesystem::path TestMachine::HostPath(std::string_view relative) const {
    std::string path(relative);
    std::replace(path.begin(), path.end(), '\\', '/');
    return folder_.Path() / "prefix" / "drive_c" / path;
}

void TestMachine::SetInstallFolders(std::string_view generals, std::string_view zeroHour) {
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n";
    if (!generals.empty()) {
        text += "[Software\\\\Electronic Arts\\\\EA Games\\\\Generals] 1700000000\n";
        text += "\"InstallPath\"=\"" + EscapeRegistry(generals) + "\"\n\n";
    }
    if (!zeroHour.empty()) {
        text += "[Software\\\\Electronic Arts\\\\EA Games\\\\Command and Conquer Generals Zero Hour] 1700000000\n";
        text += "\"InstallPath\"=\"" + EscapeRegistry(zeroHour) + "\"\n\n";
    }
    WriteBytes(folder_.Path() / "prefix" / "system.reg", text);
    impl_->registry = std::make_unique<WineRegistry>(impl_->prefix);
}

TextFiles& TestMachine::textFiles() { return impl_->textFiles; }
DirectoryListing& TestMachine::directoryListing() { return impl_->listing; }
SingleFiles& TestMachine::singleFiles() { return impl_->singleFiles; }
Registry& TestMachine::registry() { return *impl_->registry; }
SwapFileSystem& TestMachine::swapFiles() { return impl_->swapFiles; }
ImportFiles& TestMachine::importFiles() { return *impl_->importFiles; }
ProcessRunner& TestMachine::processRunner() { return impl_->processRunner; }
DiskBrowser& TestMachine::diskBrowser() { return impl_->diskBrowser; }
LaunchLock& TestMachine::launchLock() { return impl_->launchLock; }
GameFiles& TestMachine::gameFiles() { return impl_->gameFiles; }

std::string TestMachine::SteamPath(std::string_view relative) const {
    return HostPath(relative).string();
}

bool TestMachine::Hide(std::string_view relative) const {
    // Wine shows a name beginning with a dot as hidden; nothing else can hide an entry there.
    return HostPath(relative).filename().string().starts_with('.');
}

std::filesystem::path TestMachine::MachineFolder() const {
    return folder_.Path() / "prefix";
}

} // namespace vantrel::test
