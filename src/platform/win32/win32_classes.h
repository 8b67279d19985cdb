// The Win32 implementations of the platform interfaces, for Windows itself.
#pragma once

#include <string>

#include "platform/directory_listing.h"
#include "platform/disk_browser.h"
#include "platform/game_files.h"
#include "platform/instance_guard.h"
#include "platform/launch_lock.h"
#include "platform/process_environment.h"
#include "platform/process_runner.h"
#include "platform/registry.h"
#include "platform/single_files.h"
#include "platform/swap_file_system.h"
#include "platform/text_files.h"

namespace vantrel {

// Read-only; by default HKEY_LOCAL_MACHINE in the 32-bit view the games' installers wrote to.
class Win32Registry final : public Registry {
public:
    [[nodiscard]] std::optional<std::string> ReadMachineString(std::string_view keyPath,
                                                               std::string_view valueName) override;
    [[nodiscard]] std::vector<std::optional<std::string>> ReadStrings(
        std::span<const RegistryQuery> queries) override;
};

// Steam's folder comes from the registry here; paths in its files are Windows paths already.
class Win32GameFiles final : public GameFiles {
public:
    [[nodiscard]] std::vector<std::string> SteamFolders() override { return {}; }
    [[nodiscard]] std::optional<std::string> MachinePath(std::string_view steamPath) override;
    [[nodiscard]] std::optional<std::string> ReadSmallFile(std::string_view path, std::size_t limit) override;
    [[nodiscard]] std::vector<std::string> FileNames(std::string_view folder, std::string_view prefix,
                                                     std::string_view suffix) override;
    [[nodiscard]] std::vector<std::string> FolderNames(std::string_view folder) override;
    [[nodiscard]] bool FileExists(std::string_view path) override;
};

// An open main window is a top-level window whose whole title is "Vantrel".
class Win32InstanceGuard final : public InstanceGuard {
public:
    [[nodiscard]] bool IsAnotherInstanceOpen() override;
    // The main window itself is the mark; nothing else is held.
    [[nodiscard]] bool Acquire() override { return true; }
    void Release() override {}
};

// The command line after the program's own path (quoted, or up to the first blank) and the blanks
// that follow it, as UTF-8.
[[nodiscard]] std::string ArgumentTextOf(std::wstring_view commandLine);

class Win32ProcessEnvironment final : public ProcessEnvironment {
public:
    [[nodiscard]] std::string HomeFolder() override;
    [[nodiscard]] std::string ProgramFolder() override;
    // Both are %LOCALAPPDATA%\Vantrel: Windows keeps no separate place for state.
    [[nodiscard]] std::string UserDataFolder() override;
    [[nodiscard]] std::string UserStateFolder() override { return UserDataFolder(); }
    // In Program Files (either view) or the Windows folder, as the known folders and the environment name
    // them.
    [[nodiscard]] std::string DocumentsFolder() override;
    [[nodiscard]] bool IsInstalledProgramFolder(std::string_view folder) override;
    // By creating a file there and deleting it: folder permissions are lists only the system can judge.
    [[nodiscard]] bool CanWriteIn(std::string_view folder) override;
    bool CreateFolder(std::string_view folder) override;
    // The command line after the program's own path and the blanks that follow it.
    [[nodiscard]] std::string ArgumentText() override;
    // Split by CommandLineToArgvW, the C runtime's rule.
    [[nodiscard]] std::vector<std::string> Arguments() override;
};

class Win32DirectoryListing final : public DirectoryListing {
public:
    // Sorted as NTFS lists names, also on file systems (and under Wine) that list them otherwise.
    [[nodiscard]] std::vector<std::string> ListFiles(std::string_view pattern) override;
};

// Definition files in the system's ANSI code page, replaced with MoveFileEx as one step.
class Win32TextFiles final : public TextFiles {
public:
    [[nodiscard]] std::unique_ptr<TextFileReader> OpenForReading(std::string_view path) override;
    [[nodiscard]] bool ReadsInParallel() const override { return true; }
    [[nodiscard]] std::unique_ptr<TextFileAppender> StartAppending(std::string_view path, bool create,
                                                                   std::string& error) override;
    [[nodiscard]] std::unique_ptr<TextFileWriter> StartReplacing(std::string_view path) override;
    void RemoveLeftovers(std::string_view folder) override;
};

// A hidden lock file in the journal's folder, open without sharing and deleted when the last handle
// goes. The game inherits the handle, so the lock stays held while the game runs even when this
// launcher dies first: no later start puts the installation back under a running game.
class Win32LaunchLock final : public LaunchLock {
public:
    ~Win32LaunchLock() override { Release(); }
    [[nodiscard]] bool TryAcquire(std::string_view folder) override;
    void Release() override;

private:
    void* file_ = nullptr;
};

class Win32SingleFiles final : public SingleFiles {
public:
    [[nodiscard]] bool FileExists(std::string_view path) override;
    [[nodiscard]] bool DeleteFile(std::string_view path) override;
};

// A drive's root, a share's root and a folder a volume is mounted on (under Wine also a Unix mount
// point) count as drives of the machine. A link is acted on through a handle to the link itself;
// where the system reaches only what a link leads to (Wine 8 with a Unix link to a folder), the
// operation is refused rather than done to that entry.
class Win32SwapFileSystem final : public SwapFileSystem {
public:
    [[nodiscard]] std::string MachineName() override;
    // When the machine started, in whole seconds of system time; a run counts as the same while the
    // start it gives stays within two minutes (the clock may be set meanwhile).
    [[nodiscard]] std::string SessionName() override;
    [[nodiscard]] bool IsSameSession(std::string_view sessionName) override;
    [[nodiscard]] std::string LastError() override { return lastError_; }
    [[nodiscard]] bool Exists(std::string_view path) override;
    [[nodiscard]] EntryKind KindOf(std::string_view path) override;
    [[nodiscard]] std::optional<std::string> EntryName(std::string_view path) override;
    [[nodiscard]] std::optional<EntryIdentity> IdentityOf(std::string_view path) override;
    [[nodiscard]] bool HasStableIdentities(std::string_view path) override;
    [[nodiscard]] bool CanChangeFolder(std::string_view folder) override;
    [[nodiscard]] bool SetAttributesNormal(std::string_view path) override;
    [[nodiscard]] bool CreateFolder(std::string_view path) override;
    [[nodiscard]] bool Rename(std::string_view from, std::string_view to) override;
    [[nodiscard]] TreeSize MeasureTree(std::string_view path) override;
    [[nodiscard]] bool CopyFile(std::string_view from, std::string_view to, const CopyEvents& events,
                                TreeSize& placed) override;
    // After a merge into an existing folder, `placed` covers the folders the copy went through as they
    // stand afterwards (their older entries included), without what lies below folders it did not copy.
    [[nodiscard]] bool CopyFolder(std::string_view from, std::string_view to, const CopyEvents& events,
                                  TreeSize& placed) override;
    [[nodiscard]] bool DeleteFile(std::string_view path, bool force) override;
    [[nodiscard]] bool DeleteFolder(std::string_view path) override;

private:
    std::string lastError_;
};

// CreateProcessA with the program given by its full path.
class Win32ProcessRunner final : public ProcessRunner {
public:
    [[nodiscard]] RunResult RunAndWait(std::string_view commandLine) override;
    // CreateProcessW with a line quoted so that the program's C runtime splits it back into `arguments`.
    [[nodiscard]] RunResult RunArgumentsAndWait(const std::vector<std::string>& arguments,
                                                std::string_view gameProgram) override;
    [[nodiscard]] std::optional<std::string> ProgramRunningFrom(std::string_view folder) override;
    // Windows runs the games itself.
    [[nodiscard]] bool NeedsProton() override { return false; }
    void RunThroughProton(std::function<std::vector<ProtonRun>()> /*lookUp*/) override {}
};

class Win32DiskBrowser final : public DiskBrowser {
public:
    [[nodiscard]] std::vector<std::string> Drives() override;
    [[nodiscard]] std::string CurrentFolder() override;
    [[nodiscard]] bool FolderExists(std::string_view folder) override;
    [[nodiscard]] std::vector<std::string> Subfolders(std::string_view folder) override;
    [[nodiscard]] std::vector<std::string> Files(std::string_view folder) override;
    [[nodiscard]] std::optional<std::string> HostPath(std::string_view windowsPath) override;
    [[nodiscard]] std::optional<std::string> WindowsPath(std::string_view hostPath) override;
};

} // namespace vantrel
