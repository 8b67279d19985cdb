#include "platform/win32/win32_shortcuts.h"

#include "platform/case_fold.h"
#include "platform/win32/windows_api.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

namespace vantrel {

using namespace win32;

namespace {

// COM on the calling thread for as long as the object lives.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    // A thread that has COM in the other model already (Qt's has) serves as well.
    [[nodiscard]] bool Ready() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }
    [[nodiscard]] HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

// Releases a COM interface when it goes out of scope.
template <class T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (pointer_) {
            pointer_->Release();
        }
    }
    T** Put() { return &pointer_; }
    void** PutVoid() { return reinterpret_cast<void**>(&pointer_); }
    T* operator->() const { return pointer_; }

private:
    T* pointer_ = nullptr;
};

std::string ReasonOfResult(HRESULT result) {
    return ReasonOf(HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : static_cast<DWORD>(result));
}

std::string ModulePath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            return Utf8(std::wstring_view(path.data(), length));
        }
        path.resize(path.size() * 2);
    }
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A link this program made for the mod: its arguments play the mod and it starts vantrel.exe, from
// this very path when `samePath`, else under the same file name (a copy that was moved).
bool PlaysTheMod(const ShellLinkContents& link, const ShortcutTarget& target, const std::string& program,
                 bool samePath) {
    // Whatever switches it hands the game.
    const std::string played = LinkArguments({target.name, target.definitionFile, target.game});
    const bool arguments = target.game.empty() ? link.arguments == played
                                               : link.arguments == played || link.arguments.starts_with(played + " ");
    return arguments &&
           (samePath ? EqualsIgnoringCase(link.path, program)
                     : EqualsIgnoringCase(FileNameOf(link.path), FileNameOf(program)));
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

std::string SilentArguments(std::string_view name) {
    return "-SILENT " + std::string(name);
}

std::string LinkArguments(const ShortcutTarget& target) {
    if (target.game.empty()) {
        return SilentArguments(target.name);
    }
    // Names and switches hold no double quote (Windows allows none in a file name), so quoting a
    // word with blanks is all its command line needs.
    std::string line;
    for (const std::string& argument : ShortcutArguments(target)) {
        const bool quoted = argument.empty() || argument.find(' ') != std::string::npos;
        line += (line.empty() ? "" : " ") + (quoted ? "\"" + argument + "\"" : argument);
    }
    return line;
}

std::optional<ShellLinkContents> ReadShellLink(std::string_view linkPath) {
    const ComScope com;
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
    if (!com.Ready() ||
        FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid())) ||
        FAILED(file->Load(Wide(linkPath).c_str(), STGM_READ))) {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(32768);
    const int size = static_cast<int>(buffer.size());
    const auto text = [&buffer] { return Utf8(buffer.data()); };
    ShellLinkContents contents;
    buffer[0] = 0;
    if (FAILED(link->GetPath(buffer.data(), size, nullptr, SLGP_RAWPATH))) {
        return std::nullopt;
    }
    contents.path = text();
    buffer[0] = 0;
    if (FAILED(link->GetArguments(buffer.data(), size))) {
        return std::nullopt;
    }
    contents.arguments = text();
    buffer[0] = 0;
    if (FAILED(link->GetWorkingDirectory(buffer.data(), size))) {
        return std::nullopt;
    }
    contents.workingFolder = text();
    buffer[0] = 0;
    if (FAILED(link->GetIconLocation(buffer.data(), size, &contents.iconIndex))) {
        return std::nullopt;
    }
    contents.iconPath = text();
    return contents;
}

Win32Shortcuts::Win32Shortcuts(std::string folder, std::string program)
    : folder_(std::move(folder)), program_(program.empty() ? ModulePath() : std::move(program)) {}

std::string Win32Shortcuts::Folder() {
    if (folder_.empty()) {
        wchar_t* desktop = nullptr;
        if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &desktop))) {
            folder_ = Utf8(desktop);
        }
        CoTaskMemFree(desktop);
    }
    return folder_;
}

std::string Win32Shortcuts::PathOf(const ShortcutTarget& target) {
    return Folder() + "\\" + ShortcutTitle(target) + ".lnk";
}

bool Win32Shortcuts::Create(const ShortcutTarget& target) {
    const ComScope com;
    if (!com.Ready()) {
        lastError_ = "shortcuts cannot be made: " + ReasonOfResult(com.Result());
        return false;
    }
    if (Folder().empty()) {
        lastError_ = "the desktop folder could not be found";
        return false;
    }
    const std::string path = PathOf(target);
    // A player's own shortcut that happens to bear the mod's name is not replaced.
    if (Exists(path)) {
        const auto existing = ReadShellLink(path);
        if (!existing || !PlaysTheMod(*existing, target, program_, false)) {
            lastError_ = path + ": a shortcut of that name that does not play this mod is there already";
            return false;
        }
    }
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid());
    const std::wstring program = Wide(program_);
    const std::wstring description = Wide("Play " + ShortcutTitle(target) + " with Vantrel");
    if (SUCCEEDED(result)) {
        result = link->SetPath(program.c_str());
    }
    if (SUCCEEDED(result)) {
        result = link->SetArguments(Wide(LinkArguments(target)).c_str());
    }
    if (SUCCEEDED(result)) {
        result = link->SetWorkingDirectory(Wide(FolderOf(program_)).c_str());
    }
    if (SUCCEEDED(result)) {
        result = link->SetIconLocation(program.c_str(), 0);
    }
    if (SUCCEEDED(result)) {
        result = link->SetDescription(description.c_str());
    }
    if (SUCCEEDED(result)) {
        result = link->QueryInterface(IID_IPersistFile, file.PutVoid());
    }
    // Saved beside it and moved over it: a failure leaves the link before as it was.
    const std::wstring temporary = Wide(path + ".new");
    if (SUCCEEDED(result)) {
        result = file->Save(temporary.c_str(), TRUE);
    }
    if (FAILED(result)) {
        DeleteFileW(temporary.c_str());
        lastError_ = path + ": " + ReasonOfResult(result);
        return false;
    }
    if (!MoveFileExW(temporary.c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        lastError_ = path + ": " + ReasonOf(error);
        return false;
    }
    return true;
}

bool Win32Shortcuts::Remove(const ShortcutTarget& target) {
    const std::string path = PathOf(target);
    if (Folder().empty() || !Exists(path)) {
        return true;
    }
    const auto existing = ReadShellLink(path);
    if (!existing || !PlaysTheMod(*existing, target, program_, true)) {
        return true;
    }
    if (!DeleteFileW(Wide(path).c_str())) {
        lastError_ = path + ": " + ReasonOf(GetLastError());
        return false;
    }
    return true;
}

} // namespace vantrel
