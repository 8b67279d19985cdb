// The folder placement dialog: where a pair's source goes, picked from the selected game's folder.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

#include "ui/disk_lists.h"

namespace vantrel {

class FrmAddFolder final : public QDialog {
    Q_OBJECT
public:
    // `gameFolder` is the text of the main window's first selected game, empty when none is.
    FrmAddFolder(DiskBrowser& browser, const std::string& gameFolder, QWidget* parent = nullptr);

    // Shows the dialog modally; returns when OK hid it or it was closed.
    void ShowModal();
    // True when the user closed the window instead of pressing OK: the dialog is then to be destroyed.
    [[nodiscard]] bool WasClosed() const { return closed_; }

    DirectoryList* lstFolder;
    // The folder OK chooses: the open one, which a highlighted folder is not until opened.
    QLabel* lblChosen;
    QLineEdit* txtChosen;
    QPushButton* OKButton;
    // True when this showing ended with OK.
    bool bOk = false;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void OKButton_Click();

    bool closed_ = false;
};

} // namespace vantrel
