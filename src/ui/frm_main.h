// The main window: the games found, the mods, the launch options and the commands on the mod list.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/frm_add_folder.h"
#include "ui/frm_add_mod.h"
#include "ui/services.h"

namespace vantrel {

// Shown in the game list's place when no game was found, with where they were looked for between.
inline constexpr std::string_view kNoGameFoundText = "No game was found.";
inline constexpr std::string_view kNoGameAdviceText =
    "Install Generals or Zero Hour, or start Vantrel with WINEPREFIX set to the Wine prefix that holds them. "
    "Vantrel also looks in the prefixes Lutris, Bottles and Heroic made.";
inline constexpr std::string_view kNoGameAdviceTextWindows =
    "Install Generals or Zero Hour: Vantrel finds the disc, EA App and Steam releases.";
[[nodiscard]] std::string NoGameFoundText(const ProgramValues& values);

// What the mod list shows of a mod when the pointer rests on it: its name, definition file, BIG file
// and the first of its pairs, source and destination.
[[nodiscard]] std::string ModSummary(const ModRecord& mod);

// The name `vantrel -SILENT <name>` takes for a definition file: its file name without ".vtl", whole
// (the list shows it only up to the first dot).
[[nodiscard]] std::string SilentNameOf(std::string_view definitionFile);

class FrmMain final : public QWidget {
    Q_OBJECT
public:
    explicit FrmMain(UiServices& services);
    ~FrmMain() override;

    // Runs a launch of `programName` from the chosen game folder with the ticked options and the
    // selected mod.
    void LaunchGame(const std::string& programName);
    void RefreshModList();

    // The editor and the placement dialog while they exist; created on first use.
    [[nodiscard]] FrmAddMod* addModDialog() const { return frmAddMod_.get(); }
    [[nodiscard]] FrmAddFolder* addFolderDialog() const { return frmAddFolder_.get(); }
    // True while a launch runs: the window then takes no input and cannot be closed.
    [[nodiscard]] bool launching() const { return launching_; }
    // Shows a line under the window's controls, such as what a launch is doing; too long for the
    // line, it is shortened to fit and shown whole as the line's tooltip.
    void SetStatus(const QString& text);

    // How a control follows a window made larger than its arrangement: moved with the right or
    // bottom edge, or made wider or taller by the extra room.
    struct Stretch {
        bool right = false, down = false, wide = false, tall = false;
    };

    QLabel* Image1;
    QLabel* Label1[9] = {};
    QLabel* lblVersion;
    QComboBox* cboMachine; // which Wine prefix the games are played in; shown when more than one holds them
    QListWidget* lstGames;
    QLabel* lblNoGame = nullptr; // in the game list, when it is empty
    QListWidget* lstMods;
    QGroupBox* Frame1;
    QCheckBox* chkNoIntro;
    QCheckBox* chkSkipShellmap;
    QCheckBox* chkNoMusic;
    QCheckBox* chkNoAudio;
    QCheckBox* chkRunInWindow;
    QCheckBox* chkDebug;
    QPushButton* btnImportMod;
    QMenu* mnuImport; // the import button's: from an archive or from a folder
    QAction* mnuImportArchive;
    QAction* mnuImportFolder;
    QPushButton* btnAddMod;
    QPushButton* btnEditMod;
    QPushButton* btnDelMod;
    QPushButton* btnLaunch;
    QPushButton* btnWorldbuilder;
    QGroupBox* Frame2;
    QLabel* lblStatus;
    QProgressBar* prgCopy;
    // The mod list's menu, opened with the right button, the menu key or Shift+F10.
    QMenu* mnuMods;
    QAction* mnuCreateShortcut;
    QAction* mnuOpenModData;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void Form_Load();
    void cboMachine_Click(int index);
    void Form_Unload();
    void lstGames_Click();
    void lstMods_Click();
    void btnAddMod_Click();
    void btnEditMod_Click();
    void btnDelMod_Click();
    void btnLaunch_Click();
    void btnWorldbuilder_Click();
    void mnuCreateShortcut_Click();
    void mnuOpenModData_Click();
    void mnuImportArchive_Click();
    void mnuImportFolder_Click();
    // Imports the archive or folder at the host path for the selected game (asked for when none is),
    // then opens the editor on the new mod: closing it without saving takes the import away again.
    void ImportFrom(const QString& hostPath);
    // The folders that hold the mod's own user data, one per game found, the selected game's first.
    [[nodiscard]] std::vector<std::string> OwnDataFolders(const ModRecord& mod) const;
    // Opens the mod list's menu at `at` (global) for the mod in `row`, -1 for none.
    void ShowModMenu(const QPoint& at, int row);

    FrmAddMod& AddModDialog();
    // Shows the editor filled from `record`; true when the player saved it.
    bool ShowEditorOn(const ModRecord& record);
    void CloseAddModIfClosed();
    std::optional<std::string> PickDestination();
    std::string SelectedModFile() const;
    int SelectedModRow() const;
    void ArrangeControls();
    QString DefinitionFolderText() const;
    QSize ArrangeAtScale(double smallest);
    void PlaceArranged();
    void ShowStatus();
    // The folder of the game selected in the list, empty when none is; and which game that is.
    [[nodiscard]] std::string SelectedGameFolder() const;
    [[nodiscard]] std::optional<GameId> SelectedGame() const;
    // The switches of the ticked options, each after a blank.
    [[nodiscard]] std::string TickedSwitches() const;

    struct ArrangedControl {
        QWidget* widget;
        QRect base;
        Stretch stretch;
    };
    std::vector<ArrangedControl> arranged_;
    QSize arrangedSize_;

    UiServices& services_;
    std::unique_ptr<FrmAddMod> frmAddMod_;
    std::unique_ptr<FrmAddFolder> frmAddFolder_;
    bool launching_ = false;
    QString status_; // whole, as SetStatus was given it
};

} // namespace vantrel
