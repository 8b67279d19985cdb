#include "mods/mod_placement.h"

#include "mods/definition_reader.h"
#include "mods/import_names.h"
#include "platform/case_fold.h"
#include "platform/windows_paths.h"

#include <memory>
#include <unordered_map>
#include <utility>

namespace vantrel {
namespace {

std::string LowerExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return AsciiLowerCase(dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1));
}

bool IsOneOf(std::string_view value, std::initializer_list<std::string_view> values) {
    for (const std::string_view candidate : values) {
        if (value == candidate) {
            return true;
        }
    }
    return false;
}

bool IsNamed(std::string_view name, std::initializer_list<std::string_view> names) {
    for (const std::string_view candidate : names) {
        if (EqualsIgnoringCase(name, candidate)) {
            return true;
        }
    }
    return false;
}

// Why the game would not read a file the mod keeps beside its game files; empty for a game file.
std::string AsideReason(std::string_view name) {
    const std::string extension = LowerExtension(name);
    if (IsOneOf(extension,
                {"txt", "rtf", "pdf", "doc", "docx", "odt", "htm", "html", "md", "nfo", "url", "diz"})) {
        return "a read-me";
    }
    if (IsOneOf(extension, {"jpg", "jpeg", "png", "bmp", "gif", "ico", "webp"})) {
        return "a picture";
    }
    if (IsOneOf(extension,
                {"exe", "dll", "bat", "cmd", "com", "msi", "lnk", "ps1", "vbs", "jar", "reg", "sh"})) {
        return "a program";
    }
    return {};
}

class Node {
public:
    Node(std::string name, bool folder, Node* parent)
        : name_(std::move(name)), folder_(folder), parent_(parent) {}

    [[nodiscard]] const std::string& Name() const { return name_; }
    [[nodiscard]] bool IsFolder() const { return folder_; }
    [[nodiscard]] const std::vector<std::unique_ptr<Node>>& Children() const { return children_; }
    [[nodiscard]] Node* Parent() const { return parent_; }

    [[nodiscard]] Node* Child(std::string_view name) const {
        const auto found = index_.find(NameOrderKey(name));
        return found == index_.end() ? nullptr : found->second;
    }

    Node* Add(std::string name, bool folder) {
        auto child = std::make_unique<Node>(std::move(name), folder, this);
        index_.emplace(NameOrderKey(child->name_), child.get());
        children_.push_back(std::move(child));
        return children_.back().get();
    }

    // Takes `child` out of this folder, renamed, and puts it into `folder`.
    void MoveTo(Node* child, Node* folder, std::string name) {
        for (auto it = children_.begin(); it != children_.end(); ++it) {
            if (it->get() == child) {
                std::unique_ptr<Node> moved = std::move(*it);
                // The last child takes its place: a folder of many entries is emptied in linear time.
                *it = std::move(children_.back());
                children_.pop_back();
                index_.erase(NameOrderKey(moved->name_));
                moved->name_ = std::move(name);
                moved->parent_ = folder;
                folder->index_.emplace(NameOrderKey(moved->name_), moved.get());
                folder->children_.push_back(std::move(moved));
                return;
            }
        }
    }

    // Its path below the mod's folder.
    [[nodiscard]] std::string Path() const {
        if (!parent_) {
            return {};
        }
        const std::string above = parent_->Path();
        return above.empty() ? name_ : above + "\\" + name_;
    }

private:
    std::string name_;
    bool folder_;
    Node* parent_;
    std::vector<std::unique_ptr<Node>> children_;
    std::unordered_map<std::u16string, Node*> index_;
};

// A folder of the mod named after a map file it holds ("Desert\Desert.map"), as the game keeps maps.
bool IsMapFolder(const Node& node) {
    const Node* map = node.IsFolder() ? node.Child(node.Name() + ".map") : nullptr;
    return map && !map->IsFolder();
}

// Where a file or folder found at the mod's top belongs below the install folder, when the game reads
// it from there under another parent ("Weapon.ini" belongs in "Data\INI").
std::string_view HomeOf(const Node& node) {
    if (node.IsFolder()) {
        if (IsNamed(node.Name(), {"INI"})) {
            return "Data";
        }
        if (IsNamed(node.Name(), {"Object"})) {
            return "Data\\INI";
        }
        if (IsNamed(node.Name(), {"Textures", "W3D"})) {
            return "Art";
        }
        return {};
    }
    const std::string extension = LowerExtension(node.Name());
    if (extension == "ini") {
        return "Data\\INI";
    }
    if (extension == "w3d") {
        return "Art\\W3D";
    }
    if (extension == "dds" || extension == "tga") {
        return "Art\\Textures";
    }
    if (extension == "wnd") {
        return "Window";
    }
    return {};
}

bool IsGameFolder(const Node& node) {
    return node.IsFolder() && IsNamed(node.Name(), {"Data", "Art", "Window"});
}

bool IsArchive(const Node& node) {
    const std::string extension = LowerExtension(node.Name());
    return !node.IsFolder() && (extension == "big" || extension == "gib");
}

// A file or folder at a level that tells what the mod is: not a wrapper around its files.
bool IsModContent(const Node& node) {
    return IsGameFolder(node) || IsArchive(node) || !HomeOf(node).empty() || IsMapFolder(node) ||
           (node.IsFolder() && IsNamed(node.Name(), {"Maps"})) ||
           (!node.IsFolder() && LowerExtension(node.Name()) == "map");
}

class Planner {
public:
    Planner(GameId game, const GameProbe& installHas, const GameProbe& userDataHas)
        : game_(game), installHas_(installHas), userDataHas_(userDataHas) {}

    ModPlacement Plan(const std::vector<ModTreeEntry>& entries) {
        Node top("", true, nullptr);
        for (const ModTreeEntry& entry : entries) {
            Node* folder = &top;
            std::string_view rest = entry.path;
            while (!rest.empty()) {
                const std::size_t slash = rest.find('\\');
                const std::string_view name = rest.substr(0, slash);
                const bool last = slash == std::string_view::npos;
                Node* child = folder->Child(name);
                if (!child) {
                    child = folder->Add(std::string(name), !last || entry.folder);
                }
                folder = child;
                rest = last ? std::string_view() : rest.substr(slash + 1);
            }
        }
        Node* root = &top;
        for (;;) {
            Node* only = nullptr;
            bool wrapper = true;
            for (const auto& child : root->Children()) {
                if (IsModContent(*child) ||
                    (child->IsFolder() && !IsNamed(child->Name(), {"__MACOSX"}) && only)) {
                    wrapper = false;
                } else if (child->IsFolder() && !IsNamed(child->Name(), {"__MACOSX"})) {
                    only = child.get();
                }
            }
            if (!wrapper || !only) {
                break;
            }
            for (const auto& child : root->Children()) {
                if (child.get() != only) {
                    LeaveOut(*child);
                }
            }
            root = only;
        }
        Arrange(*root);
        PlaceTop(*root);
        return std::move(placement_);
    }

private:
    void LeaveOut(const Node& node, std::string why = {}) {
        if (node.IsFolder() && node.Children().empty()) {
            return; // emptied by moving what it held where the game reads it
        }
        if (why.empty()) {
            why = node.IsFolder() ? "a folder the game does not read" : AsideReason(node.Name());
        }
        if (why == "a program") {
            hasProgram_ = true;
        }
        placement_.leftOut.push_back(node.Path() + ": " +
                                     (why.empty() ? "a file the game does not read" : why));
    }

    // Renames the node to `name` in the folder `home` below `top`, where the game finds it, creating
    // the folders on the way.
    void MoveInto(Node& top, Node& node, std::string_view home, std::string name) {
        Node* folder = &top;
        std::string_view rest = home;
        while (!rest.empty()) {
            const std::size_t slash = rest.find('\\');
            const std::string_view part = rest.substr(0, slash);
            Node* child = folder->Child(part);
            if (child && !child->IsFolder()) {
                LeaveOut(node, "the mod has a file " + child->Path() + " where it would go");
                return;
            }
            folder = child ? child : folder->Add(std::string(part), true);
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        }
        Move(node, *folder, std::move(name));
    }

    // A folder meeting a folder of the same name is merged into it, entry by entry.
    void Move(Node& node, Node& folder, std::string name) {
        Node* there = folder.Child(name);
        if (there && there->IsFolder() && node.IsFolder()) {
            std::vector<Node*> children;
            for (const auto& child : node.Children()) {
                children.push_back(child.get());
            }
            for (Node* child : children) {
                Move(*child, *there, child->Name());
            }
            return;
        }
        if (there) {
            LeaveOut(node, "the mod has " + there->Path() + " too");
            return;
        }
        const std::string from = node.Path();
        node.Parent()->MoveTo(&node, &folder, std::move(name));
        placement_.moves.push_back({from, node.Path()});
    }

    // Puts what the mod keeps at its top under the folders the game reads it from.
    void Arrange(Node& top) {
        std::vector<Node*> children;
        for (const auto& child : top.Children()) {
            children.push_back(child.get());
        }
        for (Node* child : children) {
            const std::string extension = LowerExtension(child->Name());
            if (const std::string_view home = HomeOf(*child); !home.empty()) {
                MoveInto(top, *child, home, child->Name());
            } else if (IsMapFolder(*child)) {
                MoveInto(top, *child, "Maps", child->Name());
            } else if (!child->IsFolder() && extension == "map" && child->Name().size() > 4) {
                const std::string stem = child->Name().substr(0, child->Name().size() - 4);
                MoveInto(top, *child, "Maps\\" + stem, child->Name());
            } else if (!child->IsFolder() && extension == "gib") {
                MoveInto(top, *child, "", child->Name().substr(0, child->Name().size() - 3) + "big");
            }
        }
        if (Node* maps = top.Child("Maps"); maps && maps->IsFolder()) {
            std::vector<Node*> loose;
            for (const auto& child : maps->Children()) {
                if (!child->IsFolder() && LowerExtension(child->Name()) == "map" &&
                    child->Name().size() > 4) {
                    loose.push_back(child.get());
                }
            }
            for (Node* map : loose) {
                const std::string stem = map->Name().substr(0, map->Name().size() - 4);
                if (maps->Child(stem)) {
                    LeaveOut(*map, "the mod has a folder " + maps->Child(stem)->Path() + " too");
                    continue;
                }
                const std::string from = map->Path();
                Node* folder = maps->Add(stem, true);
                maps->MoveTo(map, folder, map->Name());
                placement_.moves.push_back({from, map->Path()});
            }
        }
    }

    void PlaceTop(Node& top) {
        for (const auto& child : top.Children()) {
            if (IsArchive(*child) && LowerExtension(child->Name()) == "big") {
                Pair(*child, InstallDestination(""));
            }
        }
        for (const auto& child : top.Children()) {
            if (IsGameFolder(*child)) {
                Merge(*child, child->Name());
            } else if (child->IsFolder() && IsNamed(child->Name(), {"Maps"})) {
                PlaceMaps(*child);
            } else if (!IsArchive(*child) || LowerExtension(child->Name()) != "big") {
                LeaveOut(*child);
            }
        }
        placement_.needsItsOwnProgram = placement_.pairs.empty() && hasProgram_;
    }

    // The game's own folders stay: the mod's files go into them, and only folders the game lacks are
    // placed whole.
    void Merge(Node& node, const std::string& installPath) {
        if (installHas_(installPath) != EntryKind::Folder) {
            Pair(node, InstallDestination(ParentOf(installPath)));
            return;
        }
        for (const auto& child : node.Children()) {
            if (child->IsFolder()) {
                Merge(*child, installPath + "\\" + child->Name());
            } else if (LowerExtension(child->Name()) == "gib") {
                const std::string from = child->Path();
                const std::string name = child->Name().substr(0, child->Name().size() - 3) + "big";
                if (node.Child(name)) {
                    LeaveOut(*child, "the mod has " + node.Child(name)->Path() + " too");
                    continue;
                }
                // Renamed in place once the walk is over; the pair names the new name already.
                placement_.moves.push_back({from, ParentOf(from) + "\\" + name});
                placement_.pairs.push_back({ParentOf(from) + "\\" + name, InstallDestination(installPath)});
            } else {
                Pair(*child, InstallDestination(installPath));
            }
        }
    }

    void PlaceMaps(Node& maps) {
        // Only a user data folder known to lack Maps gets the mod's whole: one that has it (or may have
        // it) keeps the player's maps in view beside the mod's.
        if (userDataHas_("Maps") == EntryKind::None) {
            Pair(maps, std::string(UserDataPlaceholder(game_)));
            return;
        }
        for (const auto& child : maps.Children()) {
            if (child->IsFolder()) {
                Pair(*child, std::string(UserDataPlaceholder(game_)) + "Maps");
            } else {
                LeaveOut(*child);
            }
        }
    }

    static std::string ParentOf(const std::string& path) {
        const std::size_t slash = path.rfind('\\');
        return slash == std::string::npos ? std::string() : path.substr(0, slash);
    }

    std::string InstallDestination(const std::string& below) const {
        return std::string(InstallPlaceholder(game_)) + below;
    }

    void Pair(const Node& node, std::string destination) {
        placement_.pairs.push_back({node.Path(), std::move(destination)});
    }

    GameId game_;
    const GameProbe& installHas_;
    const GameProbe& userDataHas_;
    ModPlacement placement_;
    bool hasProgram_ = false;
};

} // namespace

std::string_view InstallPlaceholder(GameId game) {
    return game == GameId::Generals ? kDefaultGeneralsFolder : kDefaultZeroHourFolder;
}

std::string_view UserDataPlaceholder(GameId game) {
    return game == GameId::Generals ? kGeneralsUserDataPlaceholder : kZeroHourUserDataPlaceholder;
}

std::optional<GameId> UserDataGameOf(std::string_view destination) {
    for (const GameId game : {GameId::Generals, GameId::ZeroHour}) {
        const std::string_view placeholder = UserDataPlaceholder(game);
        if (destination.starts_with(placeholder) || destination == placeholder.substr(0, placeholder.size() - 1)) {
            return game;
        }
    }
    return std::nullopt;
}

ModPlacement PlanPlacement(const std::vector<ModTreeEntry>& entries, GameId game, const GameProbe& installHas,
                           const GameProbe& userDataHas) {
    return Planner(game, installHas, userDataHas).Plan(entries);
}

} // namespace vantrel
