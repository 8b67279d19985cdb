// The mod editor: a title, the mod's BIG file and the pairs of what goes where in the game.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/disk_lists.h"
#include "ui/services.h"

namespace vantrel {

// What Add File says when no file is selected in the file list.
inline constexpr std::string_view kChooseAFileMessage = "Choose a file in the file list first, then press Add File.";

// What OK says when the definition could not be written, for a title no file may be named after and
// for any other reason.
inline constexpr std::string_view kTitleRefusedMessage =
    "The mod cannot be saved under this name: a file name may not hold \\ / : * ? \" < > |, be a device name "
    "such as CON or NUL, or be longer than the system allows. Please choose another name.";
inline constexpr std::string_view kNotSavedMessage =
    "The mod could not be saved: the folder of the mod definitions cannot be written to.";

// The longest display line shown whole; a longer one shows "..." and its end.
inline constexpr std::size_t kDisplayLineLimit = 90;

// The line shown for a pair: where its source will lie in the game.
[[nodiscard]] std::string PairDisplayLine(const std::string& szSrc, const std::string& szDst);

class FrmAddMod final : public QDialog {
    Q_OBJECT
public:
    // `pickDestination` shows the placement dialog and gives the chosen folder, nullopt when none was.
    using PickDestination = std::function<std::optional<std::string>()>;

    FrmAddMod(UiServices& services, PickDestination pickDestination, QWidget* parent = nullptr);

    // Shows the editor modally; returns when OK hid it or it was closed.
    // True when the player saved the mod.
    bool ShowModal();
    // True when the user closed the window: the dialog is then to be destroyed, its edit abandoned.
    [[nodiscard]] bool WasClosed() const { return closed_; }

    // Appends a pair; no checks.
    void AddItem(const std::string& szSrc, const std::string& szDst);

    QLabel* Label1[4];
    QLineEdit* txtTitle;
    QLineEdit* txtLocation;
    QPushButton* btnBrowse;
    DriveList* cboDrive;
    QPushButton* btnAddFolder;
    QPushButton* btnAddFile;
    DirectoryList* lstFolder;
    FileList* lstFiles;
    QListWidget* lstResult;
    // Ticked, the mod keeps its own settings, maps, replays and saved games.
    QCheckBox* chkOwnUserData;
    QPushButton* btnRemove;
    QPushButton* OKButton;
    // The pairs, in step with lstResult.
    std::vector<std::string> lstSrc;
    std::vector<std::string> lstDest;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void cboDrive_Change();
    void lstFolder_Change();
    void btnAddFile_Click();
    void btnAddFolder_Click();
    void AddPair(QPushButton* button, const std::string& szSrc);
    void lstResult_Click();
    void btnRemove_Click();
    void btnBrowse_Click();
    QString BigDialogFolder() const;
    void OKButton_Click();

    UiServices& services_;
    PickDestination pickDestination_;
    std::map<std::string, std::string> driveFolders_; // drive ("C:") to the folder last open on it
    bool closed_ = false;
};

} // namespace vantrel
