#include "support/test_machine.h"
#include "support/killing_wrappers.h"

#include <algorithm>

#include "platform/win32/win32_import_files.h"
#include "platform/win32/win32_classes.h"
#include "platform/win32/windows_api.h"

namespace vantrel::test {

void KillThisProcess() {
    TerminateProcess(GetCurrentProcess(), 137);
    ExitProcess(137);
}

struct TestMachine::Impl {
    Win32TextFiles textFiles;
    Win32DirectoryListing listing;
    Win32SingleFiles singleFiles;
    Win32SwapFileSystem swapFiles;
    Win32ProcessRunner processRunner;
    Win32DiskBrowser diskBrowser;
    Win32Registry registry;
    Win32LaunchLock launchLock;
    Win32GameFiles gameFiles;
    std::unique_ptr<ImportFiles> importFiles = MakeWin32ImportFiles();
};

namespace {

void SetInstallPath(const char* key, std::string_view folder) {
    // Both views, so that the lookup finds it whichever view it reads.
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY handle = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &handle, nullptr) !=
            ERROR_SUCCESS) {
            continue;
        }
        if (folder.empty()) {
            RegDeleteValueA(handle, "InstallPath");
        } else {
            const std::string ansi = win32::Ansi(folder);
            RegSetValueExA(handle, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(ansi.c_str()),
                           static_cast<DWORD>(ansi.size() + 1));
        }
        RegCloseKey(handle);
    }
}

} // namespace

TestMachine::TestMachine() : impl_(std::make_unique<Impl>()) {}

TestMachine::~TestMachine() = default;

std::string TestMachine::WindowsPath(std::string_view relative) const {
    std::string path = win32::Utf8(folder_.Path().wstring());
    std::replace(path.begin(), path.end(), '/', '\\');
    if (!relative.empty()) {
        path += "\\" + std::string(relative);
    }
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::filesystem::path TestMachine::HostPath(std::string_view relative) const {
    return std::filesystem::path(win32::Wide(WindowsPath(relative)));
}

std::filesystem::path TestMachine::MachineFolder() const {
    return folder_.Path();
}

void TestMachine::SetInstallFolders(std::string_view generals, std::string_view zeroHour) {
    SetInstallPath("SOFTWARE\\Electronic Arts\\EA Games\\Generals", generals);
    SetInstallPath("SOFTWARE\\Electronic Arts\\EA Games\\Command and Conquer Generals Zero Hour", zeroHour);
}

bool TestMachine::Hide(std::string_view relative) const {
    return SetFileAttributesW(HostPath(relative).c_str(), FILE_ATTRIBUTE_HIDDEN) != 0;
}

TextFiles& TestMachine::textFiles() { return impl_->textFiles; }
DirectoryListing& TestMachine::directoryListing() { return impl_->listing; }
SingleFiles& TestMachine::singleFiles() { return impl_->singleFiles; }
Registry& TestMachine::registry() { return impl_->registry; }
SwapFileSystem& TestMachine::swapFiles() { return impl_->swapFiles; }
ImportFiles& TestMachine::importFiles() { return *impl_->importFiles; }
ProcessRunner& TestMachine::processRunner() { return impl_->processRunner; }
DiskBrowser& TestMachine::diskBrowser() { return impl_->diskBrowser; }
LaunchLock& TestMachine::launchLock() { return impl_->launchLock; }
GameFiles& TestMachine::gameFiles() { return impl_->gameFiles; }

std::string TestMachine::SteamPath(std::string_view relative) const {
    return WindowsPath(relative);
}

} // namespace vantrel::test
