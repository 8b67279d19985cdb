#include "ui/frm_add_mod.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>

#include "launch/swap_cycle.h"
#include "mods/definition_writer.h"
#include "mods/mod_catalogue.h"
#include "platform/utf8.h"
#include "platform/windows_paths.h"
#include "ui/screen_fit.h"

namespace vantrel {
namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

std::string PairDisplayLine(const std::string& szSrc, const std::string& szDst) {
    // Where the pair's entry goes: the destination and the source's last name.
    const std::string line = JoinWindowsPath(szDst, LastWindowsName(szSrc));
    if (Utf8Length(line) <= kDisplayLineLimit) {
        return line;
    }
    return "..." + std::string(Utf8Tail(line, kDisplayLineLimit));
}

FrmAddMod::FrmAddMod(UiServices& services, PickDestination pickDestination, QWidget* parent)
    : QDialog(parent), services_(services), pickDestination_(std::move(pickDestination)) {
    setObjectName(QStringLiteral("frmAddMod"));
    setWindowTitle(QStringLiteral("Add Mod to Vantrel"));
    const char* captions[] = {"Mod Title:", "BIG File:", "Additional Folders:", "Folders and files to swap:"};
    for (int i = 0; i < 4; ++i) {
        Label1[i] = new QLabel(QString::fromLatin1(captions[i]), this);
    }
    txtTitle = new QLineEdit(this);
    txtLocation = new QLineEdit(this);
    btnBrowse = new QPushButton(QStringLiteral("..."), this);
    cboDrive = new DriveList(services.diskBrowser, this);
    btnAddFolder = new QPushButton(QStringLiteral("&Add Folder"), this);
    btnAddFile = new QPushButton(QStringLiteral("Add &File"), this);
    lstFolder = new DirectoryList(services.diskBrowser, this);
    lstFiles = new FileList(services.diskBrowser, this);
    lstResult = new QListWidget(this);
    chkOwnUserData =
        new QCheckBox(QStringLiteral("Keep this mod's own settings, maps, replays and saved games"), this);
    btnRemove = new QPushButton(QStringLiteral("&Remove"), this);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    for (const auto& [widget, name] : std::initializer_list<std::pair<QWidget*, const char*>>{
             {txtTitle, "txtTitle"}, {txtLocation, "txtLocation"}, {btnBrowse, "btnBrowse"}, {cboDrive, "cboDrive"},
             {btnAddFolder, "btnAddFolder"}, {btnAddFile, "btnAddFile"}, {lstFolder, "lstFolder"},
             {lstFiles, "lstFiles"}, {lstResult, "lstResult"}, {chkOwnUserData, "chkOwnUserData"},
             {btnRemove, "btnRemove"}, {OKButton, "OKButton"}}) {
        widget->setObjectName(QString::fromLatin1(name));
    }
    lstResult->setSelectionMode(QAbstractItemView::SingleSelection);
    // A line too long for the list keeps its end in view: the name of what is placed.
    lstResult->setTextElideMode(Qt::ElideLeft);
    const int square = btnBrowse->sizeHint().height();
    btnBrowse->setFixedSize(square, square);
    // OK only on a click or its key: Enter in a text box must not save and close the editor.
    OKButton->setAutoDefault(false);
    OKButton->setDefault(false);
    btnAddFolder->setAutoDefault(false);
    btnAddFile->setAutoDefault(false);
    btnRemove->setAutoDefault(false);
    btnBrowse->setAutoDefault(false);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1[0], 0, 0);
    grid->addWidget(txtTitle, 0, 1, 1, 3);
    grid->addWidget(Label1[1], 1, 0);
    grid->addWidget(txtLocation, 1, 1, 1, 3);
    grid->addWidget(btnBrowse, 1, 4);
    grid->addWidget(Label1[2], 2, 0);
    auto* browseRow = new QHBoxLayout;
    browseRow->addWidget(cboDrive);
    browseRow->addStretch();
    browseRow->addWidget(btnAddFolder);
    browseRow->addWidget(btnAddFile);
    grid->addLayout(browseRow, 2, 1, 1, 4);
    auto* listsRow = new QHBoxLayout;
    listsRow->addWidget(lstFolder);
    listsRow->addWidget(lstFiles);
    grid->addLayout(listsRow, 3, 0, 1, 5);
    grid->addWidget(Label1[3], 4, 0, 1, 5);
    grid->addWidget(lstResult, 5, 0, 1, 5);
    grid->addWidget(chkOwnUserData, 6, 0, 1, 5);
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(btnRemove);
    bottomRow->addStretch();
    bottomRow->addWidget(OKButton);
    grid->addLayout(bottomRow, 7, 0, 1, 5);
    grid->setRowStretch(3, 3);
    grid->setRowStretch(5, 2);
    FitDialogToScreen(*this, QSize(560, 480));

    connect(cboDrive, &DriveList::driveChanged, this, &FrmAddMod::cboDrive_Change);
    connect(lstFolder, &DirectoryList::pathChanged, this, &FrmAddMod::lstFolder_Change);
    connect(btnAddFile, &QPushButton::clicked, this, &FrmAddMod::btnAddFile_Click);
    connect(btnAddFolder, &QPushButton::clicked, this, &FrmAddMod::btnAddFolder_Click);
    connect(lstResult, &QListWidget::itemSelectionChanged, this, &FrmAddMod::lstResult_Click);
    connect(btnRemove, &QPushButton::clicked, this, &FrmAddMod::btnRemove_Click);
    connect(btnBrowse, &QPushButton::clicked, this, &FrmAddMod::btnBrowse_Click);
    connect(OKButton, &QPushButton::clicked, this, &FrmAddMod::OKButton_Click);

    // Form_Load: browsing starts at the current drive and folder.
    btnRemove->setEnabled(false);
    const std::string current = services.diskBrowser.CurrentFolder();
    cboDrive->blockSignals(true);
    cboDrive->setDrive(current.substr(0, 2));
    cboDrive->blockSignals(false);
    lstFolder->setPath(current);
}

bool FrmAddMod::ShowModal() {
    return exec() == QDialog::Accepted;
}

void FrmAddMod::AddItem(const std::string& szSrc, const std::string& szDst) {
    lstSrc.push_back(szSrc);
    lstDest.push_back(szDst);
    lstResult->addItem(Text(PairDisplayLine(szSrc, szDst)));
    // The line shows where the entry goes; the whole pair, source first, shows on hovering it.
    lstResult->item(lstResult->count() - 1)->setToolTip(Text(szSrc + " \xE2\x86\x92 " + szDst));
}

void FrmAddMod::cboDrive_Change() {
    // Each drive keeps its current folder, as on Windows: the one last open on it here, else its root.
    const std::string drive = cboDrive->drive();
    const auto found = driveFolders_.find(drive);
    lstFolder->setPath(found != driveFolders_.end() ? found->second : drive + "\\");
}

void FrmAddMod::lstFolder_Change() {
    driveFolders_[lstFolder->path().substr(0, 2)] = lstFolder->path();
    lstFiles->setPath(lstFolder->path());
}

void FrmAddMod::AddPair(QPushButton* button, const std::string& szSrc) {
    button->setEnabled(false);
    if (const auto szDst = pickDestination_()) {
        AddItem(szSrc, *szDst);
    }
    button->setEnabled(true);
}

void FrmAddMod::btnAddFile_Click() {
    // With no file selected the source would be the folder itself, which names no entry to place.
    if (lstFiles->fileName().empty()) {
        services_.messages.Show(kChooseAFileMessage, MessageIcon::None);
        return;
    }
    AddPair(btnAddFile, JoinWindowsPath(lstFiles->path(), lstFiles->fileName()));
}

void FrmAddMod::btnAddFolder_Click() {
    AddPair(btnAddFolder, lstFolder->path());
}

void FrmAddMod::lstResult_Click() {
    if (!lstResult->selectedItems().isEmpty()) {
        btnRemove->setEnabled(true);
    }
}

void FrmAddMod::btnRemove_Click() {
    for (int i = 0; i < lstResult->count(); ++i) {
        if (lstResult->item(i)->isSelected()) {
            delete lstResult->takeItem(i);
            lstSrc.erase(lstSrc.begin() + i);
            lstDest.erase(lstDest.begin() + i);
            // The list would select the next pair by itself; a second press must not remove it.
            lstResult->setCurrentItem(nullptr);
            lstResult->clearSelection();
            return;
        }
    }
}

QString FrmAddMod::BigDialogFolder() const {
    // A folder's own path, not the link that maps its drive (the prefix's drive_c, not dosdevices/c:).
    const auto real = [](const std::string& host) {
        const QString canonical = QFileInfo(Text(host)).canonicalFilePath();
        return canonical.isEmpty() ? Text(host) : canonical;
    };
    // The folder of the BIG file already entered, else where the dialog was last, else the C: drive.
    const std::string current = txtLocation->text().toStdString();
    if (IsDrivePath(current)) {
        const std::string folder = ParentWindowsPath(current);
        if (services_.diskBrowser.FolderExists(folder)) {
            if (const auto host = services_.diskBrowser.HostPath(folder)) {
                return real(*host);
            }
        }
    }
    if (!services_.lastBigFolder.empty()) {
        return Text(services_.lastBigFolder);
    }
    return real(services_.diskBrowser.HostPath("C:\\").value_or(std::string()));
}

void FrmAddMod::btnBrowse_Click() {
    QFileDialog dialog(this, QString(), BigDialogFolder(), QStringLiteral("BIG Files (*.big)"));
    dialog.setObjectName(QStringLiteral("dlgBigFile"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(QStringLiteral("BIG"));
    dialog.selectFile(QStringLiteral("*.BIG"));
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    services_.lastBigFolder = dialog.directory().absolutePath().toStdString();
    if (!chosen) {
        return;
    }
    if (const auto path = services_.diskBrowser.WindowsPath(dialog.selectedFiles().front().toStdString())) {
        txtLocation->setText(Text(*path));
    }
}

void FrmAddMod::OKButton_Click() {
    const std::string title = txtTitle->text().toStdString();
    const std::string location = txtLocation->text().toStdString();
    if (!WriteModDefinition(services_.textFiles, services_.messages, services_.values.definitionFolder, title,
                            location, lstSrc, lstDest, chkOwnUserData->isChecked())) {
        // The editor stays open with everything entered, so that nothing composed is lost; the writer
        // has already named a missing title.
        if (!title.empty()) {
            services_.messages.Show(IsValidModTitle(title) ? kNotSavedMessage : kTitleRefusedMessage,
                                    MessageIcon::None);
        }
        return;
    }
    LoadModCatalogue(services_.values, services_.directoryListing, services_.textFiles);
    lstSrc.clear();
    lstDest.clear();
    lstResult->clear();
    chkOwnUserData->setChecked(false);
    hide();
    done(Accepted);
}

void FrmAddMod::closeEvent(QCloseEvent* event) {
    closed_ = true;
    QDialog::closeEvent(event);
}

void FrmAddMod::reject() {
    // Escape counts as the close box: the edit is abandoned.
    closed_ = true;
    QDialog::reject();
}

} // namespace vantrel
