#include "mods/import_names.h"

#include "mods/definition_writer.h"
#include "platform/codepage_1252.h"
#include "platform/utf8.h"

#include <array>
#include <cstdint>

namespace vantrel {
namespace {

// The characters of DOS's code page 437 above ASCII.
constexpr std::array<std::uint16_t, 128> kCodePage437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

bool IsValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
        } else if (!DecodeUtf8(text, pos)) {
            return false;
        }
    }
    return true;
}

// "v1.2", "1.87", "2.0b", "beta": a word that tells a release, not the mod.
bool IsVersionWord(std::string_view word) {
    const std::string lower = AsciiLowerCase(word);
    for (std::string_view noise :
         {"beta", "alpha", "final", "release", "patch", "full", "version", "ver", "rc"}) {
        if (lower == noise) {
            return true;
        }
    }
    std::string_view rest = lower;
    for (std::string_view prefix : {"version", "ver", "v", "rc", "r"}) {
        if (rest.starts_with(prefix) && rest.size() > prefix.size()) {
            rest.remove_prefix(prefix.size());
            break;
        }
    }
    if (rest.empty() || rest[0] < '0' || rest[0] > '9') {
        return false;
    }
    if (rest.back() >= 'a' && rest.back() <= 'z') {
        rest.remove_suffix(1);
    }
    return rest.find_first_not_of("0123456789.") == std::string_view::npos;
}

void TrimEnd(std::string& text, std::string_view characters) {
    while (!text.empty() && characters.find(text.back()) != std::string_view::npos) {
        text.pop_back();
    }
}

} // namespace

std::string AsciiLowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return lower;
}

std::string NameAsUtf8(std::string_view stored, int legacyCodePage) {
    if (IsValidUtf8(stored)) {
        return std::string(stored);
    }
    if (legacyCodePage != 437) {
        return Utf8FromWindows1252(std::string(stored));
    }
    std::string name;
    for (const char c : stored) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(byte < 0x80 ? byte : kCodePage437[byte - 0x80], name);
    }
    return name;
}

std::string WhyNotAWindowsName(std::string_view name) {
    if (name.empty()) {
        return "an empty name";
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return "a control character in the name";
        }
        if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
            return std::string("a \"") + c + "\" in the name, which Windows does not allow";
        }
    }
    if (name.back() == '.' || name.back() == ' ') {
        return "a name ending in a dot or blank, which Windows drops";
    }
    if (IsWindowsDeviceName(name.substr(0, name.find('.')))) {
        return "the name of a Windows device";
    }
    if (name.size() > 255) {
        return "a name longer than Windows holds";
    }
    return {};
}

std::vector<std::string> SafeEntryPath(std::string_view utf8Path, std::string& why) {
    std::vector<std::string> names;
    if (!utf8Path.empty() && (utf8Path[0] == '/' || utf8Path[0] == '\\')) {
        why = "an absolute path";
        return {};
    }
    for (std::size_t start = 0; start <= utf8Path.size();) {
        std::size_t end = utf8Path.find_first_of("/\\", start);
        if (end == std::string_view::npos) {
            end = utf8Path.size();
        }
        const std::string_view name = utf8Path.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".") {
            continue;
        }
        if (name == "..") {
            why = "a path leading out of the mod's folder";
            return {};
        }
        if (names.empty() && name.size() == 2 && name[1] == ':') {
            why = "a path on a drive";
            return {};
        }
        if (std::string reason = WhyNotAWindowsName(name); !reason.empty()) {
            why = std::move(reason);
            return {};
        }
        names.emplace_back(name);
    }
    if (names.empty()) {
        why = "an empty name";
    }
    return names;
}

std::string ModNameFromDownload(std::string_view fileName) {
    std::string name(fileName);
    for (bool stripped = true; stripped;) {
        stripped = false;
        const std::size_t dot = name.rfind('.');
        if (dot == std::string::npos || dot == 0) {
            break;
        }
        const std::string extension = AsciiLowerCase(std::string_view(name).substr(dot + 1));
        for (std::string_view known :
             {"zip", "7z", "rar", "tar", "gz", "tgz", "bz2", "tbz", "tbz2", "xz", "txz"}) {
            if (extension == known) {
                name.resize(dot);
                stripped = true;
                break;
            }
        }
    }
    const std::string whole = name;
    for (char& c : name) {
        c = c == '_' ? ' ' : c;
    }
    for (;;) {
        TrimEnd(name, " -");
        if (!name.empty() && (name.back() == ')' || name.back() == ']')) {
            const std::size_t open = name.rfind(name.back() == ')' ? '(' : '[');
            if (open == std::string::npos) {
                break;
            }
            name.resize(open);
            continue;
        }
        const std::size_t cut = name.find_last_of(" -");
        if (cut == std::string::npos || !IsVersionWord(std::string_view(name).substr(cut + 1))) {
            break;
        }
        name.resize(cut);
    }
    // A dot would end the name the list shows, and blanks at either end do not show.
    std::string clean;
    for (const char c : name.empty() ? whole : name) {
        const char kept = c == '.' || c == '_' ||
                                  std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos ||
                                  static_cast<unsigned char>(c) < 0x20
                              ? ' '
                              : c;
        if (kept != ' ' || (!clean.empty() && clean.back() != ' ')) {
            clean.push_back(kept);
        }
    }
    TrimEnd(clean, " -");
    return clean;
}

} // namespace vantrel
