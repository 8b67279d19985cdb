#include "ui/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QUrl>
#include <QEventLoop>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScrollArea>
#include <QSysInfo>
#include <QToolTip>
#include <QStyle>
#include <QVBoxLayout>
#include <functional>
#include <optional>
#include <thread>

#include "app/version.h"
#include "launch/swap_cycle.h"
#include "mods/definition_reader.h"
#include "mods/mod_catalogue.h"
#include "mods/mod_import.h"
#include "platform/case_fold.h"
#include "platform/windows_paths.h"
#include "discovery/install_discovery.h"
#include "ui/artwork.h"
#include "ui/import_progress.h"
#include "ui/screen_fit.h"
#include "ui/status_line.h"

namespace vantrel {
namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

constexpr double kTwipsPerPixel = 15.0;

struct Placement {
    QWidget* widget;
    int left, top, width, height; // twips
    FrmMain::Stretch stretch;
};

// Breaks a caption at blanks so that each line fits `width`; the access-key '&' takes no room.
QString WrapCaption(const QString& caption, const QFontMetrics& metrics, int width) {
    const auto shown = [](QString text) { return text.remove(QLatin1Char('&')); };
    QString result;
    QString line;
    for (const auto& word : caption.split(QLatin1Char(' '))) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(shown(candidate)) > width) {
            result += (result.isEmpty() ? QString() : QStringLiteral("\n")) + line;
            line = word;
        } else {
            line = candidate;
        }
    }
    return result + (result.isEmpty() ? QString() : QStringLiteral("\n")) + line;
}

// A child process the window waits for on another thread, so that it keeps painting meanwhile; the
// inner runner's stages are told on the window's thread.
class PaintingRunner final : public ProcessRunner {
public:
    PaintingRunner(ProcessRunner& inner, std::function<void()> starting, std::function<void(RunStage)> reached)
        : inner_(inner), starting_(std::move(starting)), reached_(std::move(reached)) {}

    RunResult RunAndWait(std::string_view commandLine) override {
        return Painting([&] { return inner_.RunAndWait(commandLine); });
    }
    RunResult RunArgumentsAndWait(const std::vector<std::string>& arguments, std::string_view gameProgram) override {
        return Painting([&] { return inner_.RunArgumentsAndWait(arguments, gameProgram); });
    }
    std::optional<std::string> ProgramRunningFrom(std::string_view folder) override {
        return inner_.ProgramRunningFrom(folder);
    }
    bool NeedsProton() override { return inner_.NeedsProton(); }
    void RunThroughProton(std::function<std::vector<ProtonRun>()> lookUp) override {
        inner_.RunThroughProton(std::move(lookUp));
    }

private:
    RunResult Painting(const std::function<RunResult()>& run) {
        starting_();
        RunResult result;
        QEventLoop loop;
        // The wait goes on only once the window has shown the stage: what it says is never behind the run.
        inner_.TellStages([&](RunStage stage) {
            QMetaObject::invokeMethod(&loop, [&, stage] { reached_(stage); }, Qt::BlockingQueuedConnection);
        });
        std::thread waiter([&] {
            result = run();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        waiter.join();
        inner_.TellStages({});
        return result;
    }

    ProcessRunner& inner_;
    std::function<void()> starting_;
    std::function<void(RunStage)> reached_;
};

// Passes messages on and keeps the last one, to say on the status line how a launch ended.
class RememberingMessages final : public Messages {
public:
    explicit RememberingMessages(Messages& inner) : inner_(inner) {}
    void Show(std::string_view text, MessageIcon icon) override {
        last = std::string(text);
        inner_.Show(text, icon);
    }
    std::string last;

private:
    Messages& inner_;
};

} // namespace

std::string ModSummary(const ModRecord& mod) {
    std::string text = mod.szName + "\nDefinition: " + mod.definitionFile +
                       "\nBIG file: " + (mod.szModFile.empty() ? std::string("none") : mod.szModFolder + mod.szModFile);
    constexpr std::size_t kShownPairs = 20;
    const std::size_t pairs = std::min(mod.szSrcPaths.size(), mod.szDstFolders.size());
    for (std::size_t i = 0; i < std::min(pairs, kShownPairs); ++i) {
        text += "\n" + mod.szSrcPaths[i] + " \xE2\x86\x92 " + mod.szDstFolders[i];
    }
    if (pairs > kShownPairs) {
        text += "\n... and " + std::to_string(pairs - kShownPairs) + " more";
    }
    return text;
}

std::string SilentNameOf(std::string_view definitionFile) {
    std::string_view name = definitionFile.substr(definitionFile.rfind('\\') + 1);
    if (name.size() >= kDefinitionExtension.size() &&
        EqualsIgnoringCase(name.substr(name.size() - kDefinitionExtension.size()), kDefinitionExtension)) {
        name.remove_suffix(kDefinitionExtension.size());
    }
    return std::string(name);
}

FrmMain::FrmMain(UiServices& services) : services_(services) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vantrel"));
    setWindowIcon(DrawIcon());

    const auto label = [this](const char* caption) { return new QLabel(QString::fromUtf8(caption), this); };
    Frame1 = new QGroupBox(QStringLiteral("Options"), this);
    Frame2 = new QGroupBox(QStringLiteral("Instructions"), this);
    Image1 = new QLabel(this);
    Image1->setPixmap(DrawBanner());
    Label1[0] = label("Vantrel, version");
    lblVersion = label("VersionNo");
    Label1[1] = label("By the Vantrel developers");
    Label1[2] = label("Vantrel mod launcher project");
    Label1[4] = label("Game Titles Found:");
    cboMachine = new QComboBox(this);
    for (const auto& machine : services.machines) {
        cboMachine->addItem(QString::fromStdString(machine));
    }
    cboMachine->setCurrentIndex(static_cast<int>(services.machineInUse));
    cboMachine->setVisible(services.machines.size() > 1 && services.chooseMachine);
    cboMachine->setAccessibleName(QStringLiteral("Machine"));
    cboMachine->setToolTip(QStringLiteral("The Wine prefixes that hold the games. The games are found and played in "
                                          "the one chosen here, and Vantrel starts with it next time."));
    lstGames = new QListWidget(this);
    Label1[5] = label("Mods Found:");
    lstMods = new QListWidget(this);
    chkNoIntro = new QCheckBox(QStringLiteral("Skip Movie Intro."), this);
    chkSkipShellmap = new QCheckBox(QStringLiteral("No Shell Anims."), this);
    chkNoMusic = new QCheckBox(QStringLiteral("No Music"), this);
    chkNoAudio = new QCheckBox(QStringLiteral("No Audio"), this);
    chkRunInWindow = new QCheckBox(QStringLiteral("Run In Window"), this);
    chkDebug = new QCheckBox(QStringLiteral("Debug"), this);
    btnImportMod = new QPushButton(QStringLiteral("&Import Mod…"), this);
    mnuImport = new QMenu(this);
    mnuImportArchive = mnuImport->addAction(QStringLiteral("From a Downloaded &Archive…"));
    mnuImportFolder = mnuImport->addAction(QStringLiteral("From a &Folder…"));
    btnImportMod->setMenu(mnuImport);
    btnImportMod->setEnabled(services.importFiles != nullptr);
    btnImportMod->setToolTip(QStringLiteral("Unpacks a mod you downloaded (zip, 7z, rar) or copies its folder, and "
                                            "places its files where the game reads them. An archive or folder "
                                            "dropped on this window is imported too."));
    setAcceptDrops(services.importFiles != nullptr);
    btnAddMod = new QPushButton(this);
    btnEditMod = new QPushButton(this);
    btnDelMod = new QPushButton(this);
    btnLaunch = new QPushButton(QStringLiteral("Start &Game"), this);
    btnWorldbuilder = new QPushButton(QStringLiteral("&Worldbuilder"), this);
    Label1[7] = label("To play a regular game without modification, select the game from the 'Game Titles Found' "
                      "list then click on the 'Start Game' button.");
    Label1[8] = label("To play a modified game, select the game from the 'Game Titles Found' list then select a mod "
                      "title from the 'Mods Found' list and then click on the 'Start Game' button.");
    lblStatus = new QLabel(this);
    // Measured as plain text when it is fitted to the line; a path may hold a '<'.
    lblStatus->setTextFormat(Qt::PlainText);
    prgCopy = new QProgressBar(this);
    prgCopy->hide();
    for (auto* wrapped : {Label1[7], Label1[8]}) {
        wrapped->setWordWrap(true);
        wrapped->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    for (auto* list : {lstGames, lstMods}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        // Rows of one height: the list need not measure every mod to lay itself out.
        list->setUniformItemSizes(true);
    }
    lstMods->viewport()->installEventFilter(this);
    lstMods->installEventFilter(this);
    mnuMods = new QMenu(this);
    mnuCreateShortcut = mnuMods->addAction(QStringLiteral("Create &Shortcut"));
    mnuOpenModData = mnuMods->addAction(QStringLiteral("Open the Mod's &Data Folder"));
    const std::pair<QObject*, const char*> names[] = {
        {Image1, "Image1"}, {lblVersion, "lblVersion"}, {cboMachine, "cboMachine"}, {lstGames, "lstGames"}, {lstMods, "lstMods"},
        {Frame1, "Frame1"}, {chkNoIntro, "chkNoIntro"}, {chkSkipShellmap, "chkSkipShellmap"},
        {chkNoMusic, "chkNoMusic"}, {chkNoAudio, "chkNoAudio"}, {chkRunInWindow, "chkRunInWindow"},
        {chkDebug, "chkDebug"}, {btnImportMod, "btnImportMod"}, {mnuImport, "mnuImport"},
        {mnuImportArchive, "mnuImportArchive"}, {mnuImportFolder, "mnuImportFolder"}, {btnAddMod, "btnAddMod"}, {btnEditMod, "btnEditMod"}, {btnDelMod, "btnDelMod"},
        {btnLaunch, "btnLaunch"}, {btnWorldbuilder, "btnWorldbuilder"}, {Frame2, "Frame2"}, {lblStatus, "lblStatus"},
        {prgCopy, "prgCopy"}, {mnuMods, "mnuMods"}, {mnuCreateShortcut, "mnuCreateShortcut"},
        {mnuOpenModData, "mnuOpenModData"}};
    for (const auto& [object, name] : names) {
        object->setObjectName(QString::fromLatin1(name));
    }
    for (int i : {0, 1, 2, 4, 5, 7, 8}) {
        Label1[i]->setObjectName(QStringLiteral("Label1_%1").arg(i));
    }
    ArrangeControls();

    // Labels, frames and the banner take no focus; the rest is reached in the order it is laid out:
    // top to bottom, and column by column from the left.
    QWidget* order[] = {cboMachine, lstGames,  lstMods,       btnImportMod, chkNoIntro, chkSkipShellmap, chkNoMusic,
                        chkNoAudio, chkRunInWindow, chkDebug,     btnAddMod,  btnEditMod,      btnDelMod,
                        btnLaunch, btnWorldbuilder};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }

    connect(cboMachine, &QComboBox::activated, this, &FrmMain::cboMachine_Click);
    connect(lstGames, &QListWidget::itemSelectionChanged, this, &FrmMain::lstGames_Click);
    connect(lstMods, &QListWidget::itemSelectionChanged, this, &FrmMain::lstMods_Click);
    connect(lstMods, &QListWidget::itemDoubleClicked, this, &FrmMain::btnEditMod_Click);
    connect(btnAddMod, &QPushButton::clicked, this, &FrmMain::btnAddMod_Click);
    connect(btnEditMod, &QPushButton::clicked, this, &FrmMain::btnEditMod_Click);
    connect(btnDelMod, &QPushButton::clicked, this, &FrmMain::btnDelMod_Click);
    connect(btnLaunch, &QPushButton::clicked, this, &FrmMain::btnLaunch_Click);
    connect(btnWorldbuilder, &QPushButton::clicked, this, &FrmMain::btnWorldbuilder_Click);
    connect(mnuCreateShortcut, &QAction::triggered, this, &FrmMain::mnuCreateShortcut_Click);
    connect(mnuOpenModData, &QAction::triggered, this, &FrmMain::mnuOpenModData_Click);
    connect(mnuImportArchive, &QAction::triggered, this, &FrmMain::mnuImportArchive_Click);
    connect(mnuImportFolder, &QAction::triggered, this, &FrmMain::mnuImportFolder_Click);

    Form_Load();
    Label1[5]->setToolTip(DefinitionFolderText());
    SetStatus(QString::fromStdString(services.values.startupNotice));
    lstGames->setFocus();
}

FrmMain::~FrmMain() {
    services_.instanceGuard.Release();
}

void FrmMain::ArrangeControls() {
    // The arrangement at the usual font is kept where it fits the screen; where it does not, the
    // whole window is drawn smaller, font and all, so that every control stays on screen.
    const QSize room = AvailableRoom(*this);
    QFont font = QApplication::font(this);
    double smallest = 1.0;
    for (int attempt = 0;; ++attempt) {
        setFont(font);
        QFont bold = font;
        bold.setBold(true);
        Frame2->setFont(bold);
        const QSize size = ArrangeAtScale(smallest);
        if ((size.width() <= room.width() && size.height() <= room.height()) || attempt == 10 ||
            font.pointSizeF() == SmallestPointSize(*this)) {
            break;
        }
        const double factor = 0.98 * std::min(static_cast<double>(room.width()) / size.width(),
                                              static_cast<double>(room.height()) / size.height());
        font = ScaledFont(font, factor, SmallestPointSize(*this));
        smallest *= factor;
    }
    setMinimumSize(arrangedSize_);
    resize(arrangedSize_);
    PlaceArranged();
}

QSize FrmMain::ArrangeAtScale(double smallest) {
    // What each control does when the window is made larger: the lists take the room, the controls
    // beside and below them move along.
    constexpr Stretch kStays{}, kRight{.right = true}, kRightDown{.right = true, .down = true},
        kWide{.wide = true}, kWideDown{.down = true, .wide = true}, kGrows{.wide = true, .tall = true};
    const Placement placements[] = {
        {Image1, 120, 120, 3600, 1170, kStays},           {Label1[0], 3840, 120, 2295, 255, kStays},
        {lblVersion, 6240, 120, 1095, 255, kStays},       {Label1[1], 3840, 360, 2055, 255, kStays},
        {Label1[2], 3840, 720, 2775, 255, kStays},        {Label1[4], 120, 1440, 1455, 255, kStays},
        {cboMachine, 1800, 1400, 5655, 270, kWide},       {lstGames, 120, 1680, 7335, 450, kWide},          {Label1[5], 120, 2280, 975, 255, kStays},
        {lstMods, 120, 2520, 3735, 2700, kGrows},         {btnImportMod, 120, 5280, 3735, 420, kWideDown},         {Frame1, 3960, 2280, 3495, 2535, kRight},
        {chkNoIntro, 4080, 2640, 1695, 255, kRight},      {chkSkipShellmap, 4080, 3000, 1695, 255, kRight},
        {chkNoMusic, 4080, 3360, 1695, 255, kRight},      {chkNoAudio, 4080, 3720, 1695, 255, kRight},
        {chkRunInWindow, 4080, 4080, 1695, 255, kRight},  {chkDebug, 4080, 4440, 1695, 255, kRight},
        {btnAddMod, 5880, 2520, 1455, 615, kRight},       {btnEditMod, 5880, 3240, 1455, 615, kRight},
        {btnDelMod, 5880, 3960, 1455, 615, kRight},       {btnLaunch, 3960, 4920, 1695, 735, kRightDown},
        {btnWorldbuilder, 5760, 4920, 1695, 735, kRightDown}, {Frame2, 120, 5760, 7335, 1215, kWideDown},
        {Label1[7], 240, 6000, 7095, 375, kWideDown},     {Label1[8], 240, 6480, 7095, 375, kWideDown},
    };
    const std::pair<QPushButton*, const char*> buttonCaptions[] = {
        {btnAddMod, "&Add Mod to Vantrel List"},
        {btnEditMod, "&Edit Mod in List"},
        {btnDelMod, "&Remove Mod from Vantrel List"}};
    const QFontMetrics metrics(font());
    const auto px = [](int twips, double scale) { return static_cast<int>(twips / kTwipsPerPixel * scale + 0.5); };

    // One scale for the whole window keeps the arrangement and its proportions: a row of text must
    // hold the font in use, and each button's caption, wrapped, must fit the button.
    double scale = std::max(smallest, metrics.height() * 1.2 / (255 / kTwipsPerPixel));
    const auto buttonsFit = [&](double candidate) {
        for (const auto& [button, caption] : buttonCaptions) {
            const int width = px(1455, candidate) - 8;
            const QString shown = WrapCaption(QString::fromLatin1(caption), metrics, width).remove(QLatin1Char('&'));
            const QSize needed = metrics.size(0, shown);
            if (needed.width() > width || needed.height() + 6 > px(615, candidate)) {
                return false;
            }
        }
        return true;
    };
    while (scale < 3.0 && !buttonsFit(scale)) {
        scale += 0.05;
    }
    const int windowWidth = px(7590, scale);
    arranged_.clear();
    for (const auto& p : placements) {
        QRect box(px(p.left, scale), px(p.top, scale), px(p.width, scale), px(p.height, scale));
        // A caption wider than its place grows to the right, never clipped, within the window.
        if (auto* caption = qobject_cast<QLabel*>(p.widget); caption && !caption->wordWrap() && caption->pixmap().isNull()) {
            box.setWidth(std::min(std::max(box.width(), caption->sizeHint().width()), windowWidth - box.left() - 4));
        } else if (auto* box2 = qobject_cast<QCheckBox*>(p.widget)) {
            box.setWidth(std::max(box.width(), box2->sizeHint().width()));
        } else if (auto* wrapped = qobject_cast<QLabel*>(p.widget); wrapped && wrapped->wordWrap()) {
            box.setHeight(std::max(box.height(), wrapped->heightForWidth(box.width())));
        }
        arranged_.push_back({p.widget, box, p.stretch});
    }
    // On a window drawn smaller than designed, the banner shrinks with it.
    Image1->setScaledContents(scale < 1.0);
    for (const auto& [button, caption] : buttonCaptions) {
        button->setText(WrapCaption(QString::fromLatin1(caption), metrics, px(1455, scale) - 8));
    }
    // Controls drawn inside a frame stay above it.
    for (auto* widget : std::initializer_list<QWidget*>{chkNoIntro, chkSkipShellmap, chkNoMusic, chkNoAudio,
                                                        chkRunInWindow, chkDebug, btnAddMod, btnEditMod, btnDelMod,
                                                        Label1[7], Label1[8]}) {
        widget->raise();
    }
    // A line for what a launch is doing, below the instructions, and the copy's progress under it.
    const int statusTop = px(7095, scale);
    const int statusHeight = std::max(metrics.height() + 6, px(300, scale));
    arranged_.push_back({lblStatus, QRect(px(120, scale), statusTop, px(7335, scale), statusHeight), kWideDown});
    arranged_.push_back(
        {prgCopy, QRect(px(120, scale), statusTop + statusHeight, px(7335, scale), statusHeight - 4), kWideDown});
    arrangedSize_ = QSize(windowWidth, statusTop + 2 * statusHeight + px(60, scale));
    return arrangedSize_;
}

void FrmMain::PlaceArranged() {
    const int dx = std::max(0, width() - arrangedSize_.width());
    const int dy = std::max(0, height() - arrangedSize_.height());
    for (const auto& control : arranged_) {
        QRect box = control.base;
        box.translate(control.stretch.right ? dx : 0, control.stretch.down ? dy : 0);
        box.setSize(box.size() + QSize(control.stretch.wide ? dx : 0, control.stretch.tall ? dy : 0));
        control.widget->setGeometry(box);
    }
    ShowStatus();
}

void FrmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceArranged();
}

std::string NoGameFoundText(const ProgramValues& values) {
    // What to do first, where Vantrel looked after it: the box shows two lines before it scrolls.
    const bool windows = QSysInfo::kernelType() == QStringLiteral("winnt");
    std::string text = std::string(kNoGameFoundText) + " " +
                       std::string(windows ? kNoGameAdviceTextWindows : kNoGameAdviceText);
    if (!values.gameSearch.empty()) {
        text += " " + values.gameSearch;
    }
    return text;
}

void FrmMain::Form_Load() {
    lblVersion->setText(QStringLiteral("%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
    const auto addGame = [this](const std::string& folder, const std::string& source) {
        if (!folder.empty()) {
            lstGames->addItem(Text(folder));
            // Which release it is tells a player which folder may need to be made writable.
            lstGames->item(lstGames->count() - 1)->setToolTip(
                Text(source.empty() ? folder : folder + "\nFound through: " + source));
        }
    };
    addGame(services_.values.szGeneralsPath, services_.values.generalsSource);
    addGame(services_.values.szZeroHourPath, services_.values.zeroHourSource);
    // Zero Hour's Steam release looks as if it held Generals (its ZH_Generals folder): say why the list
    // has no Generals, on the list and on Zero Hour's row.
    if (services_.values.szGeneralsPath.empty() && services_.values.zeroHourSource == kSteamSource) {
        const QString missing =
            QStringLiteral("Generals was not found. Zero Hour's Steam release holds Generals' archives in its "
                           "ZH_Generals folder, for Zero Hour's own use, but not Generals itself, which Steam sells "
                           "and installs as a game of its own.");
        lstGames->setToolTip(missing);
        QListWidgetItem* zeroHour = lstGames->item(lstGames->count() - 1);
        zeroHour->setToolTip(zeroHour->toolTip() + QStringLiteral("\n\n") + missing);
    }
    if (lstGames->count() > 0) {
        lstGames->setCurrentRow(0);
    } else {
        // An empty box tells a new player nothing: say what was looked for and where to point Vantrel.
        // Longer than the box: it scrolls, so that every word can be read.
        auto* scroller = new QScrollArea(lstGames->viewport());
        scroller->setObjectName(QStringLiteral("scrNoGame"));
        scroller->setFrameShape(QFrame::NoFrame);
        scroller->setWidgetResizable(true);
        scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        lblNoGame = new QLabel(Text(NoGameFoundText(services_.values)));
        lblNoGame->setObjectName(QStringLiteral("lblNoGame"));
        lblNoGame->setWordWrap(true);
        lblNoGame->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        lblNoGame->setContentsMargins(4, 2, 4, 2);
        lblNoGame->setToolTip(lblNoGame->text());
        scroller->setWidget(lblNoGame);
        // The list's own ground shows through, as under its items.
        scroller->viewport()->setAutoFillBackground(false);
        lblNoGame->setAutoFillBackground(false);
        auto* fill = new QVBoxLayout(lstGames->viewport());
        fill->setContentsMargins(0, 0, 0, 0);
        fill->addWidget(scroller);
    }
    btnEditMod->setEnabled(false);
    btnDelMod->setEnabled(false);
    RefreshModList();
    // Held while this window is open, so that another start is refused.
    (void)services_.instanceGuard.Acquire();
}

QString FrmMain::DefinitionFolderText() const {
    return QStringLiteral("Mod definitions are read from ") + Text(services_.values.definitionFolder);
}

void FrmMain::RefreshModList() {
    lstMods->clear();
    btnEditMod->setEnabled(false);
    btnDelMod->setEnabled(false);
    // All rows in one insertion: thousands of mods must not cost a signal and a layout pass each.
    QStringList names;
    names.reserve(services_.values.nModCount);
    for (int i = 0; i < services_.values.nModCount; ++i) {
        names << Text(services_.values.Mods[static_cast<std::size_t>(i)].szName);
    }
    lstMods->addItems(names);
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    // A mod's summary is made when the pointer rests on it, not for every mod at start.
    if (watched == lstMods->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int row = lstMods->indexAt(help->pos()).row();
        if (row >= 0 && static_cast<std::size_t>(row) < services_.values.Mods.size()) {
            const ModRecord& mod = services_.values.Mods[static_cast<std::size_t>(row)];
            std::string summary = ModSummary(mod);
            if (mod.ownUserData) {
                std::string folders;
                for (const auto& folder : OwnDataFolders(mod)) {
                    folders += (folders.empty() ? "" : " and ") + folder;
                }
                summary += "\nKeeps its own settings, maps, replays and saved games" +
                           (folders.empty() ? std::string() : " in " + folders);
            }
            QToolTip::showText(help->globalPos(), Text(summary), lstMods->viewport(),
                               lstMods->visualRect(lstMods->model()->index(row, 0)));
        } else {
            // Between the mods: where they come from, which depends on how Vantrel was installed.
            QToolTip::showText(help->globalPos(), DefinitionFolderText(), lstMods->viewport());
        }
        return true;
    }
    // The right button opens the menu for the mod under the pointer; the menu key and Shift+F10 (which
    // only some platforms turn into a context menu event themselves) for the selected one.
    if (watched == lstMods->viewport() && event->type() == QEvent::ContextMenu) {
        const auto* request = static_cast<QContextMenuEvent*>(event);
        ShowModMenu(request->globalPos(), lstMods->indexAt(request->pos()).row());
        return true;
    }
    if (watched == lstMods) {
        const auto* key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
        const bool byKeyboard =
            (event->type() == QEvent::ContextMenu &&
             static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) ||
            (key && (key->key() == Qt::Key_Menu ||
                     (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)));
        if (byKeyboard) {
            const int row = SelectedModRow();
            const QRect item = row >= 0 ? lstMods->visualItemRect(lstMods->item(row)) : QRect();
            ShowModMenu(item.isValid() ? lstMods->viewport()->mapToGlobal(item.bottomLeft())
                                       : lstMods->mapToGlobal(lstMods->rect().center()),
                        row);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrmMain::ShowModMenu(const QPoint& at, int row) {
    if (row >= 0) {
        lstMods->setCurrentRow(row);
    }
    mnuCreateShortcut->setEnabled(row >= 0 && services_.shortcuts);
    mnuOpenModData->setEnabled(row >= 0 && static_cast<std::size_t>(row) < services_.values.Mods.size() &&
                               services_.values.Mods[static_cast<std::size_t>(row)].ownUserData);
    mnuMods->exec(at);
}

std::vector<std::string> FrmMain::OwnDataFolders(const ModRecord& mod) const {
    std::vector<std::string> folders;
    // The selected game's first, where the next launch puts it.
    std::vector<std::string> games;
    for (const auto* item : lstGames->selectedItems()) {
        games.push_back(item->text().toStdString());
    }
    games.push_back(services_.values.szGeneralsPath);
    games.push_back(services_.values.szZeroHourPath);
    for (const auto& game : games) {
        const std::string userData = game.empty() || !services_.userDataFolder ? "" : services_.userDataFolder(game);
        const std::string own = userData.empty() ? "" : OwnUserDataFolder(userData, mod);
        if (!own.empty() && std::find(folders.begin(), folders.end(), own) == folders.end()) {
            folders.push_back(own);
        }
    }
    return folders;
}

void FrmMain::mnuOpenModData_Click() {
    const int row = SelectedModRow();
    if (row < 0) {
        return;
    }
    const auto folders = OwnDataFolders(services_.values.Mods[static_cast<std::size_t>(row)]);
    for (const auto& folder : folders) {
        const auto host = services_.diskBrowser.HostPath(folder);
        if (host && services_.diskBrowser.FolderExists(folder)) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(*host)));
            return;
        }
    }
    SetStatus(folders.empty() ? QStringLiteral("Where the games keep their user data is not known on this machine.")
                              : Text(folders.front() + " is made when the mod is first played."));
}

std::string FrmMain::TickedSwitches() const {
    const std::pair<QCheckBox*, const char*> switches[] = {
        {chkNoIntro, " -nologo"},    {chkSkipShellmap, " -noshellmap"}, {chkNoMusic, " -nomusic"},
        {chkNoAudio, " -noaudio"},   {chkRunInWindow, " -win"},         {chkDebug, " -constantdebug -scriptdebug"}};
    std::string ticked;
    for (const auto& [box, text] : switches) {
        if (box->checkState() != Qt::Unchecked) {
            ticked += text;
        }
    }
    return ticked;
}

void FrmMain::mnuCreateShortcut_Click() {
    const int row = SelectedModRow();
    if (row < 0 || !services_.shortcuts) {
        return;
    }
    // The shortcut plays the mod with the selected game (asked for when none is) and the ticked options.
    std::optional<GameId> game = SelectedGame();
    if (!game && !(game = AskForGame(this))) {
        return;
    }
    const std::string& file = services_.values.Mods[static_cast<std::size_t>(row)].definitionFile;
    const std::string switches = TickedSwitches();
    const ShortcutTarget target{SilentNameOf(file), file, *game == GameId::Generals ? "generals" : "zerohour",
                                switches.empty() ? switches : switches.substr(1)};
    if (!services_.shortcuts->Create(target)) {
        services_.messages.Show("The shortcut to play " + target.name + " could not be made.\n" +
                                    services_.shortcuts->LastError(),
                                MessageIcon::None);
        return;
    }
    SetStatus(Text("Made a shortcut that plays " + target.name + ": " + services_.shortcuts->PathOf(target)));
}

void FrmMain::lstGames_Click() {
    // Some releases come without World Builder: the button says so before it is pressed.
    const QList<QListWidgetItem*> selected = lstGames->selectedItems();
    bool missing = false;
    if (!selected.isEmpty()) {
        const std::string folder = selected.front()->text().toStdString();
        // Found as Windows finds it, whatever the letter case of its name on the disk.
        const auto name = services_.swapFiles.EntryName(folder + "worldbuilder.exe");
        missing = !name || services_.swapFiles.KindOf(folder + *name) != EntryKind::File;
    }
    btnWorldbuilder->setEnabled(!missing);
    btnWorldbuilder->setToolTip(missing ? selected.front()->text() + QStringLiteral(" has no worldbuilder.exe")
                                        : QString());
}

void FrmMain::lstMods_Click() {
    for (int i = 0; i < lstMods->count(); ++i) {
        if (lstMods->item(i)->isSelected()) {
            btnEditMod->setEnabled(true);
            btnDelMod->setEnabled(true);
            return;
        }
    }
}

FrmAddMod& FrmMain::AddModDialog() {
    if (!frmAddMod_) {
        frmAddMod_ = std::make_unique<FrmAddMod>(services_, [this] { return PickDestination(); });
        frmAddMod_->setWindowIcon(windowIcon());
    }
    return *frmAddMod_;
}

void FrmMain::CloseAddModIfClosed() {
    if (frmAddMod_ && frmAddMod_->WasClosed()) {
        frmAddMod_.reset();
    }
}

std::optional<std::string> FrmMain::PickDestination() {
    if (!frmAddFolder_) {
        frmAddFolder_ = std::make_unique<FrmAddFolder>(services_.diskBrowser, SelectedGameFolder());
        frmAddFolder_->setWindowIcon(windowIcon());
    }
    frmAddFolder_->ShowModal();
    if (frmAddFolder_->WasClosed()) {
        frmAddFolder_.reset();
        return std::nullopt;
    }
    return frmAddFolder_->bOk ? std::optional(frmAddFolder_->lstFolder->path()) : std::nullopt;
}

int FrmMain::SelectedModRow() const {
    // Row i of the list is element i of the catalogue, read from its own file.
    for (int i = 0; i < lstMods->count(); ++i) {
        if (lstMods->item(i)->isSelected() && static_cast<std::size_t>(i) < services_.values.Mods.size()) {
            return i;
        }
    }
    return -1;
}

std::string FrmMain::SelectedModFile() const {
    const int row = SelectedModRow();
    return row < 0 ? std::string() : services_.values.Mods[static_cast<std::size_t>(row)].definitionFile;
}

void FrmMain::btnAddMod_Click() {
    FrmAddMod& editor = AddModDialog();
    editor.txtLocation->setText(QString());
    editor.txtTitle->setText(QString());
    editor.chkOwnUserData->setChecked(false);
    btnAddMod->setEnabled(false);
    editor.ShowModal();
    CloseAddModIfClosed();
    RefreshModList();
    btnAddMod->setEnabled(true);
}

bool FrmMain::ShowEditorOn(const ModRecord& record) {
    FrmAddMod& editor = AddModDialog();
    editor.txtTitle->setText(Text(record.szName));
    editor.txtLocation->setText(Text(record.szModFolder + record.szModFile));
    editor.chkOwnUserData->setChecked(record.ownUserData);
    for (std::size_t k = 0; k < record.szSrcPaths.size(); ++k) {
        editor.AddItem(record.szSrcPaths[k], record.szDstFolders[k]);
    }
    return editor.ShowModal();
}

void FrmMain::btnEditMod_Click() {
    const std::string path = SelectedModFile();
    if (path.empty()) {
        return;
    }
    ModRecord record;
    if (!ReadModDefinition(services_.textFiles, services_.values, path, record)) {
        return;
    }
    ShowEditorOn(record);
    const std::string title = AddModDialog().txtTitle->text().toStdString();
    CloseAddModIfClosed();
    RefreshModList();
    // Saved under a new name, the mod starts its own user data afresh: the old one's stays where it is.
    const bool savedAnew = std::any_of(services_.values.Mods.begin(), services_.values.Mods.end(),
                                       [&](const ModRecord& mod) { return SilentNameOf(mod.definitionFile) == title; });
    if (record.ownUserData && title != record.szName && savedAnew) {
        std::string kept;
        for (const auto& folder : OwnDataFolders(record)) {
            if (services_.diskBrowser.FolderExists(folder)) {
                kept += (kept.empty() ? "" : " and ") + folder;
            }
        }
        if (!kept.empty()) {
            SetStatus(Text(title + " keeps its own settings, maps, replays and saved games apart from " + record.szName +
                           "'s, which stay in " + kept + "."));
        }
    }
}

void FrmMain::btnDelMod_Click() {
    const std::string path = SelectedModFile();
    if (path.empty()) {
        return;
    }
    // A definition that cannot be deleted stays listed; nothing else changes.
    const ModRecord* removed = nullptr;
    for (const auto& mod : services_.values.Mods) {
        removed = mod.definitionFile == path ? &mod : removed;
    }
    // The player's replays and saved games with the mod are theirs: kept, and said where.
    std::string kept;
    if (removed && removed->ownUserData) {
        for (const auto& folder : OwnDataFolders(*removed)) {
            if (services_.diskBrowser.FolderExists(folder)) {
                kept += (kept.empty() ? "" : " and ") + folder;
            }
        }
    }
    // An imported mod's files are the player's download: they stay, and the status line says where.
    std::string importedFolder;
    if (removed) {
        const std::string mods = WindowsPathKey(ImportedModsFolder(services_.values));
        for (const auto& source : removed->szSrcPaths) {
            const std::string key = WindowsPathKey(source);
            if (IsInsideKey(key, mods) && key.size() == source.size()) {
                const std::size_t end = key.find('\\', mods.size() + 1);
                importedFolder = source.substr(0, end == std::string::npos ? source.size() : end);
                break;
            }
        }
    }
    if (services_.singleFiles.DeleteFile(path)) {
        if (!kept.empty()) {
            SetStatus(Text(SilentNameOf(path) + " was removed; its own settings, maps, replays and saved games stay in " +
                           kept + "."));
        } else if (!importedFolder.empty()) {
            SetStatus(Text(SilentNameOf(path) + " was removed from the list; its imported files stay in " +
                           importedFolder + "."));
        }
        // Its shortcut would start nothing any more.
        for (const ShortcutTarget& target : EveryGameOf({SilentNameOf(path), path})) {
            if (services_.shortcuts && !services_.shortcuts->Remove(target)) {
                services_.messages.Show(target.name +
                                            " was removed from the list, but its shortcut could not be removed.\n" +
                                            services_.shortcuts->LastError(),
                                        MessageIcon::None);
                break;
            }
        }
        LoadModCatalogue(services_.values, services_.directoryListing, services_.textFiles);
    }
    RefreshModList();
}

void FrmMain::btnLaunch_Click() {
    LaunchGame("generals.exe");
}

void FrmMain::btnWorldbuilder_Click() {
    LaunchGame("worldbuilder.exe");
}

void FrmMain::SetStatus(const QString& text) {
    status_ = text;
    ShowStatus();
}

void FrmMain::ShowStatus() {
    const QString shown = FitStatusLine(status_, lblStatus->fontMetrics(), lblStatus->contentsRect().width());
    lblStatus->setText(shown);
    lblStatus->setToolTip(shown == status_ ? QString() : status_);
}

std::string FrmMain::SelectedGameFolder() const {
    for (int i = 0; i < lstGames->count(); ++i) {
        if (lstGames->item(i)->isSelected()) {
            return lstGames->item(i)->text().toStdString();
        }
    }
    return {};
}

std::optional<GameId> FrmMain::SelectedGame() const {
    const std::string folder = SelectedGameFolder();
    for (const GameId game : {GameId::Generals, GameId::ZeroHour}) {
        if (!folder.empty() && folder == InstallFolderOf(services_.values, game)) {
            return game;
        }
    }
    return std::nullopt;
}

void FrmMain::LaunchGame(const std::string& programName) {
    const std::string folder = SelectedGameFolder();
    if (folder.empty()) {
        services_.messages.Show("Please select the game to launch", MessageIcon::None);
        return;
    }
    std::int16_t modIndex = -1;
    for (int b = 0; b < lstMods->count(); ++b) {
        if (lstMods->item(b)->isSelected()) {
            modIndex = static_cast<std::int16_t>(b);
        }
    }
    // A mod made for the other game would run without its files where this one reads them.
    if (modIndex >= 0 && static_cast<std::size_t>(modIndex) < services_.values.Mods.size()) {
        const ProgramValues& values = services_.values;
        const ModRecord& mod = values.Mods[static_cast<std::size_t>(modIndex)];
        const auto modGame = GameTheModIsFor(mod, values);
        const auto chosen = SelectedGame();
        if (modGame && chosen && *modGame != *chosen) {
            const auto text = [](std::string_view words) { return Text(std::string(words)); };
            const auto answer = QMessageBox::question(
                this, QStringLiteral("Vantrel"),
                Text(mod.szName) + QStringLiteral(" is a mod for %1: its files go into %2 folders, not into %3. "
                                                  "Start %4 with it all the same?")
                                       .arg(text(GameName(*modGame)), text(GamesOwn(*modGame)),
                                            text(GamesOwn(*chosen)), text(GameName(*chosen))),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
            if (answer != QMessageBox::Yes) {
                return;
            }
        }
    }
    std::string command = folder + programName + TickedSwitches();

    // The window keeps painting while the game runs, but takes no input and cannot be closed.
    launching_ = true;
    const bool wasEnabled = isEnabled();
    for (auto* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child != lblStatus && child != prgCopy) {
            child->setEnabled(false);
        }
    }
    const auto copying = [this](const CopyProgress& progress) {
        // Percent of the bytes, or of the entries for a mod of empty files.
        const bool byBytes = progress.bytesTotal > 0;
        const auto done = byBytes ? progress.bytesDone : progress.entriesDone;
        const auto total = byBytes ? progress.bytesTotal : progress.entriesTotal;
        constexpr double kMiB = 1024.0 * 1024.0;
        SetStatus(QStringLiteral("Copying the mod: %1 of %2 entries, %3 of %4 MiB")
                      .arg(progress.entriesDone)
                      .arg(progress.entriesTotal)
                      .arg(static_cast<double>(progress.bytesDone) / kMiB, 0, 'f', 1)
                      .arg(static_cast<double>(progress.bytesTotal) / kMiB, 0, 'f', 1));
        prgCopy->setRange(0, 1000);
        prgCopy->setValue(total == 0 ? 1000 : static_cast<int>(done * 1000 / total));
        prgCopy->show();
        QCoreApplication::processEvents();
    };
    const bool worldBuilder = programName == "worldbuilder.exe";
    const std::string what = worldBuilder ? "World Builder" : "The game";
    const QString named = worldBuilder ? QStringLiteral("World Builder") : QStringLiteral("the game");
    const bool putBack = modIndex >= 0 && static_cast<std::size_t>(modIndex) < services_.values.Mods.size() &&
                         (services_.values.Mods[static_cast<std::size_t>(modIndex)].nPairCount > 0 ||
                          services_.values.Mods[static_cast<std::size_t>(modIndex)].ownUserData);
    const QString afterwards = putBack ? QStringLiteral(" The game folder will be put back when it ends.") : QString();
    // Running is said only once the runner has seen the program run, never for one that could not start.
    PaintingRunner runner(
        services_.processRunner,
        [this, named] {
            prgCopy->hide();
            SetStatus(QStringLiteral("Starting %1\u2026").arg(named));
        },
        [this, what, named, afterwards](RunStage stage) {
            SetStatus((stage == RunStage::GameRunning ? Text(what) + QStringLiteral(" is running\u2026")
                                                      : QStringLiteral("Waiting for %1 to start\u2026").arg(named)) +
                      afterwards);
        });
    RememberingMessages messages(services_.messages);
    std::optional<RunResult> ran;
    const bool launched = LaunchWithMod(services_.values,
                                        {services_.swapFiles, runner, messages, copying, services_.journal,
                                         services_.launchLock, [&ran](const RunResult& result) { ran = result; },
                                         services_.userDataFolder},
                                        command, modIndex);
    prgCopy->hide();
    for (auto* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        child->setEnabled(true);
    }
    btnEditMod->setEnabled(false);
    btnDelMod->setEnabled(false);
    lstMods_Click();
    lstGames_Click();
    setEnabled(wasEnabled);
    // The outcome stays in view until the next action: a run that ended at once or failed says how,
    // and a failure's reason is its message's last line.
    const std::string& shown = messages.last;
    const std::string outcome = launched && ran ? RunOutcome(*ran, what, putBack) : std::string();
    SetStatus(!launched ? QStringLiteral("The launch failed: ") +
                              Text(shown.substr(shown.rfind('\n') == std::string::npos ? 0 : shown.rfind('\n') + 1))
              : outcome.empty() ? Text(what + " ended.")
                                : Text(outcome));
    launching_ = false;
}

void FrmMain::Form_Unload() {
    if (frmAddFolder_) {
        frmAddFolder_->close();
        frmAddFolder_.reset();
    }
    if (frmAddMod_) {
        frmAddMod_->close();
        frmAddMod_.reset();
    }
    services_.instanceGuard.Release();
}

void FrmMain::cboMachine_Click(int index) {
    if (index < 0 || static_cast<std::size_t>(index) == services_.machineInUse) {
        return;
    }
    // A launch under way keeps its machine; the window is made anew once it is over.
    if (launching_) {
        cboMachine->setCurrentIndex(static_cast<int>(services_.machineInUse));
        return;
    }
    services_.chooseMachine(static_cast<std::size_t>(index));
    close();
}

void FrmMain::closeEvent(QCloseEvent* event) {
    if (launching_) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

} // namespace vantrel
