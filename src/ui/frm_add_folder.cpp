#include "ui/frm_add_folder.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/screen_fit.h"

namespace vantrel {

FrmAddFolder::FrmAddFolder(DiskBrowser& browser, const std::string& gameFolder, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAddFolder"));
    setWindowTitle(QStringLiteral("Choose location to place folder"));
    lstFolder = new DirectoryList(browser, this);
    lstFolder->setObjectName(QStringLiteral("lstFolder"));
    lblChosen = new QLabel(QStringLiteral("&Place in:"), this);
    txtChosen = new QLineEdit(this);
    txtChosen->setObjectName(QStringLiteral("txtChosen"));
    txtChosen->setReadOnly(true);
    txtChosen->setFocusPolicy(Qt::ClickFocus);
    lblChosen->setBuddy(lstFolder);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    auto* chosenRow = new QHBoxLayout;
    chosenRow->addWidget(lblChosen);
    chosenRow->addWidget(txtChosen, 1);
    layout->addLayout(chosenRow);
    layout->addWidget(lstFolder);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    layout->addLayout(buttons);
    FitDialogToScreen(*this, QSize(360, 320));
    connect(OKButton, &QPushButton::clicked, this, &FrmAddFolder::OKButton_Click);
    connect(lstFolder, &DirectoryList::pathChanged, this, [this] {
        txtChosen->setText(QString::fromStdString(lstFolder->path()));
        // A long path shows its end: the folder's own name.
        txtChosen->setCursorPosition(static_cast<int>(txtChosen->text().size()));
    });

    // Form_Load: open at the selected game's folder, else (or when it is gone) the current folder.
    const bool gameFolderUsable = !gameFolder.empty() && browser.FolderExists(gameFolder);
    lstFolder->setPath(gameFolderUsable ? gameFolder : browser.CurrentFolder());
    bOk = false;
}

void FrmAddFolder::ShowModal() {
    bOk = false;
    exec();
}

void FrmAddFolder::OKButton_Click() {
    hide();
    bOk = true;
    done(Accepted);
}

void FrmAddFolder::closeEvent(QCloseEvent* event) {
    closed_ = true;
    QDialog::closeEvent(event);
}

void FrmAddFolder::reject() {
    // Escape counts as the close box: the placement is abandoned.
    closed_ = true;
    QDialog::reject();
}

} // namespace vantrel
