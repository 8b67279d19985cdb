#include "launch/launch_journal.h"

#include <cinttypes>
#include <cstdio>

#include "launch/report_text.h"
#include "launch/swap_cycle.h"
#include "platform/windows_paths.h"

namespace vantrel {
namespace {

constexpr std::string_view kHeader = "Vantrel launch journal";
constexpr std::uint64_t kVersion = 3;
// Journals of the version before, whose pairs never move a folder in, are read as well.
constexpr std::uint64_t kOldestVersion = 2;
constexpr char kSeparator = '\t';

std::uint64_t Fnv1a(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return hash;
}

std::string Hex(std::uint64_t value, int digits) {
    char text[17];
    std::snprintf(text, sizeof text, "%0*" PRIx64, digits, value);
    return text;
}

// A line's fields, each followed by the separator, then a checksum of them: a torn or changed line
// tells itself.
std::string Line(std::initializer_list<std::string> fields) {
    std::string line;
    for (const auto& field : fields) {
        line += field;
        line += kSeparator;
    }
    return line + "#" + Hex(Fnv1a(line) & 0xFFFFFFFFULL, 8);
}

// The fields of a line whose checksum holds; nullopt for a damaged line.
std::optional<std::vector<std::string_view>> Fields(std::string_view line) {
    const std::size_t last = line.rfind(kSeparator);
    if (last == std::string_view::npos ||
        line.substr(last + 1) != "#" + Hex(Fnv1a(line.substr(0, last + 1)) & 0xFFFFFFFFULL, 8)) {
        return std::nullopt;
    }
    std::vector<std::string_view> fields;
    for (std::size_t start = 0; start <= last;) {
        const std::size_t end = line.find(kSeparator, start);
        fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

// A line that ends before its checksum was written, as an append cut short leaves it (perhaps with
// zeros after it); a whole line whose checksum is wrong, or one that no line starts as, is damage.
bool IsCutShort(std::string_view line) {
    // Zeros where the system had not yet written what was appended before a power cut.
    while (!line.empty() && line.back() == '\0') {
        line.remove_suffix(1);
    }
    const std::size_t last = line.rfind(kSeparator);
    const bool looksWhole = last != std::string_view::npos && line.size() - last == 10 && line[last + 1] == '#';
    bool begunAsALine = false;
    for (const std::string_view kind : {kHeader, std::string_view("machine"), std::string_view("session"),
                                        std::string_view("pair"),
                                        std::string_view("planned"), std::string_view("begun"),
                                        std::string_view("copying"), std::string_view("placed"),
                                        std::string_view("undoing"), std::string_view("undone")}) {
        begunAsALine = begunAsALine || kind.starts_with(line) ||
                       (line.starts_with(kind) && line.size() > kind.size() && line[kind.size()] == kSeparator);
    }
    return !looksWhole && begunAsALine && line.find('\0') == std::string_view::npos;
}

// A whole unsigned decimal number; nullopt for anything else.
std::optional<std::uint64_t> Number(std::string_view text) {
    if (text.empty() || text.size() > 20) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        const std::uint64_t next = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (c < '0' || c > '9' || next / 10 != value) {
            return std::nullopt;
        }
        value = next;
    }
    return value;
}

std::string IdentityText(const std::optional<EntryIdentity>& identity) {
    return identity ? std::to_string(identity->volume) + ":" + std::to_string(identity->index) : "-";
}

// "-" for none; false for text that is neither.
bool ParseIdentity(std::string_view text, std::optional<EntryIdentity>& identity) {
    identity.reset();
    if (text == "-") {
        return true;
    }
    const std::size_t colon = text.find(':');
    const auto volume = colon == std::string_view::npos ? std::nullopt : Number(text.substr(0, colon));
    const auto index = colon == std::string_view::npos ? std::nullopt : Number(text.substr(colon + 1));
    if (volume && index) {
        identity = EntryIdentity{*volume, *index};
    }
    return identity.has_value();
}

// Applies one step record to the pairs; false when it does not parse.
bool ApplyStep(const std::vector<std::string_view>& fields, std::vector<PairRecord>& pairs) {
    const auto index = fields.size() >= 2 ? Number(fields[1]) : std::nullopt;
    if (!index || *index >= pairs.size()) {
        return false;
    }
    PairRecord& pair = pairs[*index];
    const std::string_view kind = fields[0];
    if (kind == "begun" && fields.size() == 7) {
        pair.mergesInto.reset();
        if (fields[4] != "-") {
            const auto merges = Number(fields[4]);
            if (!merges || *merges >= *index) {
                return false;
            }
            pair.mergesInto = static_cast<std::size_t>(*merges);
        }
        if (!ParseIdentity(fields[2], pair.displaced) || (fields[3] != "0" && fields[3] != "1")) {
            return false;
        }
        pair.setsAside = fields[3] == "1";
        pair.restoreAs = std::string(fields[5]);
        pair.backup = std::string(fields[6]);
        pair.step = PairStep::Begun;
        return true;
    }
    if ((kind == "copying" || kind == "undoing") && fields.size() == 3) {
        auto& identity = kind == "copying" ? pair.copy : pair.removing;
        pair.step = kind == "copying" ? PairStep::Copying : PairStep::Undoing;
        return ParseIdentity(fields[2], identity) && identity.has_value();
    }
    if (kind == "placed" && fields.size() == 3) {
        std::vector<std::uint64_t> values;
        for (std::size_t start = 0; start <= fields[2].size();) {
            const std::size_t end = std::min(fields[2].find(':', start), fields[2].size());
            const auto value = Number(fields[2].substr(start, end - start));
            if (!value) {
                return false;
            }
            values.push_back(*value);
            start = end + 1;
        }
        if (values.size() != 3) {
            return false;
        }
        pair.content = {values[0], values[1], values[2]};
        pair.step = PairStep::Placed;
        return true;
    }
    if (kind == "undone" && fields.size() == 2) {
        pair.step = PairStep::Undone;
        return true;
    }
    return false;
}

std::string KeyOf(std::string_view machineName) {
    return Hex(Fnv1a(machineName), 16);
}

} // namespace

std::string JournalPathFor(std::string_view folder, std::string_view machineName) {
    return JoinWindowsPath(folder, std::string(kJournalNameStart) + " " + KeyOf(machineName) + ".journal");
}

std::vector<std::string> FormatJournalStart(const JournalContent& content) {
    std::vector<std::string> lines = {Line({std::string(kHeader), std::to_string(kVersion)}),
                                      Line({"machine", content.machine}), Line({"session", content.session})};
    for (std::size_t i = 0; i < content.pairs.size(); ++i) {
        const PairRecord& pair = content.pairs[i];
        lines.push_back(Line({"pair", std::to_string(i), pair.kind == EntryKind::Folder ? "folder" : "file",
                              pair.decidedAtPlan ? "decided" : "later", IdentityText(pair.displaced),
                              pair.setsAside ? "1" : "0", pair.restoreAs, pair.backup, pair.target,
                              pair.movedFrom}));
    }
    lines.push_back(Line({"planned", std::to_string(content.pairs.size())}));
    return lines;
}

std::string FormatStep(std::size_t index, const PairRecord& pair) {
    const std::string i = std::to_string(index);
    switch (pair.step) {
    case PairStep::Begun:
        return Line({"begun", i, IdentityText(pair.displaced), pair.setsAside ? "1" : "0",
                     pair.mergesInto ? std::to_string(*pair.mergesInto) : "-", pair.restoreAs, pair.backup});
    case PairStep::Copying:
        return Line({"copying", i, IdentityText(pair.copy)});
    case PairStep::Placed:
        return Line({"placed", i,
                     std::to_string(pair.content.entries) + ":" + std::to_string(pair.content.bytes) + ":" +
                         std::to_string(pair.content.fingerprint)});
    case PairStep::Undoing:
        return Line({"undoing", i, IdentityText(pair.removing)});
    case PairStep::Undone:
        return Line({"undone", i});
    case PairStep::Planned:
        break;
    }
    return {};
}

JournalState ParseJournal(const std::vector<std::string>& lines, JournalContent& content) {
    content = {};
    // Lines whole up to the last, which may be cut short: a plan that ends there was never finished.
    const auto cutShort = [&](std::size_t at) {
        return at + 1 >= lines.size() && (at >= lines.size() || IsCutShort(lines[at])) ? JournalState::Unstarted
                                                                                          : JournalState::Unreadable;
    };
    const auto header = lines.empty() ? std::nullopt : Fields(lines[0]);
    if (!header || header->size() != 2 || (*header)[0] != kHeader || !Number((*header)[1])) {
        return header ? JournalState::Unreadable : cutShort(0);
    }
    const std::uint64_t version = *Number((*header)[1]);
    if (version > kVersion) {
        return JournalState::NewerFormat;
    }
    if (version < kOldestVersion) {
        return JournalState::Unreadable;
    }
    const std::size_t pairFields = version >= 3 ? 10 : 9;
    const auto machine = lines.size() > 1 ? Fields(lines[1]) : std::nullopt;
    if (!machine || machine->size() != 2 || (*machine)[0] != "machine") {
        return machine ? JournalState::Unreadable : cutShort(1);
    }
    const auto session = lines.size() > 2 ? Fields(lines[2]) : std::nullopt;
    if (!session || session->size() != 2 || (*session)[0] != "session") {
        return session ? JournalState::Unreadable : cutShort(2);
    }
    JournalContent read{std::string((*machine)[1]), std::string((*session)[1]), {}};
    std::size_t at = 3;
    // The plan, whole: it was made durable before anything changed.
    for (;; ++at) {
        const auto fields = at < lines.size() ? Fields(lines[at]) : std::nullopt;
        if (!fields) {
            return cutShort(at);
        }
        if ((*fields)[0] == "planned" && fields->size() == 2 && Number((*fields)[1]) == read.pairs.size()) {
            ++at;
            break;
        }
        PairRecord pair;
        if ((*fields)[0] != "pair" || fields->size() != pairFields || Number((*fields)[1]) != read.pairs.size() ||
            ((*fields)[2] != "file" && (*fields)[2] != "folder") ||
            ((*fields)[3] != "decided" && (*fields)[3] != "later") || !ParseIdentity((*fields)[4], pair.displaced) ||
            ((*fields)[5] != "0" && (*fields)[5] != "1")) {
            return JournalState::Unreadable;
        }
        pair.kind = (*fields)[2] == "folder" ? EntryKind::Folder : EntryKind::File;
        pair.decidedAtPlan = (*fields)[3] == "decided";
        pair.setsAside = (*fields)[5] == "1";
        pair.restoreAs = std::string((*fields)[6]);
        pair.backup = std::string((*fields)[7]);
        pair.target = std::string((*fields)[8]);
        if (pairFields > 9) {
            pair.movedFrom = std::string((*fields)[9]);
        }
        read.pairs.push_back(std::move(pair));
    }
    for (; at < lines.size(); ++at) {
        std::string_view line = lines[at];
        while (at + 1 == lines.size() && line.ends_with('\0')) {
            line.remove_suffix(1); // zeros after the last line, where a power cut lost the rest
        }
        const auto fields = Fields(line);
        if (!fields || !ApplyStep(*fields, read.pairs)) {
            if (at + 1 == lines.size() && !fields && IsCutShort(lines[at])) {
                break; // the last line torn by a power cut: its step never acted on an unrecorded basis
            }
            return JournalState::Unreadable;
        }
    }
    content = std::move(read);
    return JournalState::Read;
}

LaunchJournal::LaunchJournal(TextFiles& textFiles, SingleFiles& singleFiles, std::string folder,
                             std::string machineName)
    : textFiles_(textFiles), singleFiles_(singleFiles), folder_(std::move(folder)),
      machine_(KeyOf(machineName)), path_(JournalPathFor(folder_, machineName)) {}

bool LaunchJournal::Start(const std::vector<PairRecord>& pairs, const std::string& session, std::string& error) {
    appender_ = textFiles_.StartAppending(path_, true, error);
    if (!appender_) {
        return false;
    }
    if (!appender_->Append(FormatJournalStart({machine_, session, pairs})) || !appender_->Sync()) {
        error = appender_->LastError();
        // A half-written start is no record of anything: it must not block later launches.
        appender_.reset();
        (void)singleFiles_.DeleteFile(path_);
        return false;
    }
    return true;
}

bool LaunchJournal::Continue(std::string& error) {
    appender_ = textFiles_.StartAppending(path_, false, error);
    return appender_ != nullptr;
}

bool LaunchJournal::Note(std::size_t index, const PairRecord& pair) {
    pending_.push_back(FormatStep(index, pair));
    // A begun pair goes on to set an entry aside or to create its copy, which a later start must
    // know of before either exists.
    const bool actsAtOnce = pair.step == PairStep::Begun || pair.step == PairStep::Copying ||
                            pair.step == PairStep::Undoing;
    return !actsAtOnce || Flush();
}

bool LaunchJournal::Flush() {
    if (!appender_) {
        error_ = "the journal is not open";
        return false;
    }
    if (!pending_.empty() && !appender_->Append(pending_)) {
        error_ = appender_->LastError();
        return false;
    }
    pending_.clear();
    return true;
}

bool LaunchJournal::Sync() {
    if (!Flush() || !appender_->Sync()) {
        error_ = appender_ ? appender_->LastError() : error_;
        return false;
    }
    return true;
}

bool LaunchJournal::Remove() {
    appender_.reset();
    pending_.clear();
    return !singleFiles_.FileExists(path_) || singleFiles_.DeleteFile(path_);
}

std::vector<std::string> LaunchJournal::RawLines() {
    std::vector<std::string> lines;
    if (const auto file = textFiles_.OpenForReading(path_)) {
        for (std::string line; file->ReadLine(line);) {
            lines.push_back(line);
        }
    }
    return lines;
}

JournalState LaunchJournal::Load(JournalContent& content) {
    content = {};
    if (!singleFiles_.FileExists(path_)) {
        return JournalState::Absent;
    }
    const auto file = textFiles_.OpenForReading(path_);
    if (!file) {
        return JournalState::Unreadable;
    }
    std::vector<std::string> lines;
    for (std::string line; file->ReadLine(line);) {
        lines.push_back(line);
    }
    const JournalState state = ParseJournal(lines, content);
    // A file under this machine's name that another machine wrote is nothing to act on here.
    return state == JournalState::Read && content.machine != machine_ ? JournalState::Unreadable : state;
}

bool IsLaunchersOwn(std::string_view path, std::string_view folder) {
    const std::string pathKey = WindowsPathKey(path);
    const std::string folderKey = WindowsPathKey(folder);
    if (pathKey == folderKey || IsInsideKey(folderKey, pathKey)) {
        return true;
    }
    std::string name(LastWindowsName(pathKey));
    std::string own = WindowsPathKey(kJournalNameStart);
    return WindowsPathKey(ParentWindowsPath(pathKey)) == folderKey && (name.starts_with(own) || name.starts_with(".VANTREL-"));
}

std::string FinishInterruptedLaunch(LaunchJournal& journal, SwapFileSystem& files) {
    // The journal only ever has the name this launcher gave it: asking for exactly that name spares a
    // search of the whole folder for another spelling at every start.
    if (!files.Exists(journal.Path())) {
        return {};
    }
    JournalContent content;
    const JournalState state = journal.Load(content);
    if (state == JournalState::Absent) {
        return {};
    }
    if (state == JournalState::Unstarted) {
        // The plan is made durable before anything changes: an unfinished one stands for nothing done.
        return journal.Remove() ? std::string() : "An unfinished launch journal " + Quoted(journal.Path()) +
                                                      " could not be removed.";
    }
    if (state != JournalState::Read) {
        return "A launch did not finish, but its journal " + Quoted(journal.Path()) +
               (state == JournalState::NewerFormat ? " is from a newer Vantrel" : " cannot be read") +
               "; the game folders were left as they are. Start Vantrel with --set-aside-journal to see what it "
               "describes and set it aside.";
    }
    std::string error;
    LaunchJournal* recording = journal.Continue(error) ? &journal : nullptr;
    // After the machine restarted, steps it had not yet written to disk may be missing from the
    // record: every pair counts as begun, and whatever cannot be proven the launch's own is set aside.
    const UndoMode mode = files.IsSameSession(content.session) ? UndoMode::Recovery : UndoMode::RecoveryAfterRestart;
    const UndoReport report = UndoPairs(content.pairs, files, mode, recording);
    const std::string notes = report.notes.empty() ? "" : " " + Joined(report.notes) + ".";
    if (!report.complete) {
        (void)journal.Flush();
        return "A launch did not finish; not everything could be put back:" + notes +
               " Vantrel tries again at its next start; once you have put these entries right by hand, start Vantrel "
               "with --set-aside-journal to set its journal " + Quoted(journal.Path()) + " aside.";
    }
    if (!journal.Remove()) {
        return "A launch did not finish; the game folders were put back, but its journal " + Quoted(journal.Path()) +
               " could not be removed." + notes;
    }
    return "A launch did not finish; the game folders were put back as they were." + notes;
}

std::string RecoverInterruptedLaunch(LaunchJournal& journal, SwapFileSystem& files, LaunchLock& lock) {
    // A launch that is still running owns its journal.
    if (!lock.TryAcquire(journal.Folder())) {
        return {};
    }
    std::string report = FinishInterruptedLaunch(journal, files);
    lock.Release();
    return report;
}

std::optional<std::string> SetAsideJournal(LaunchJournal& journal, SwapFileSystem& files, std::string_view timestamp,
                                           std::string& error) {
    const std::string& path = journal.Path();
    const std::string aside = path.substr(0, path.size() - std::string_view(".journal").size()) + " " +
                              std::string(timestamp) + ".set-aside";
    if (!files.Rename(path, aside)) {
        error = files.LastError();
        return std::nullopt;
    }
    return aside;
}

} // namespace vantrel
