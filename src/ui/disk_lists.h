// The drive list, directory list and file list of the mod editor and the placement dialog, drawn
// over the platform's disks so that they show Windows paths on every system.
#pragma once

#include <QComboBox>
#include <QListWidget>
#include <string>

#include "platform/disk_browser.h"

namespace vantrel {

class DriveList final : public QComboBox {
    Q_OBJECT
public:
    DriveList(DiskBrowser& browser, QWidget* parent = nullptr);

    // The chosen drive, as "C:".
    [[nodiscard]] std::string drive() const { return currentText().toStdString(); }
    void setDrive(const std::string& drive);
    void showPopup() override;

signals:
    void driveChanged();
};

// The open folder, the folders above it up to its drive's root and the folders directly below it;
// a double-click opens a folder, and so does Enter on a highlighted folder that is not the open one.
// The open folder is drawn in bold, so that it stays apart from a merely highlighted one.
class DirectoryList final : public QListWidget {
    Q_OBJECT
public:
    DirectoryList(DiskBrowser& browser, QWidget* parent = nullptr);

    // The open folder: no backslash at the end except at a drive's root.
    [[nodiscard]] const std::string& path() const { return path_; }
    void setPath(const std::string& path);

signals:
    void pathChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Fill();

    DiskBrowser& browser_;
    std::string path_;
};

// The files of one folder, hidden and system files left out, one of them selectable.
class FileList final : public QListWidget {
    Q_OBJECT
public:
    FileList(DiskBrowser& browser, QWidget* parent = nullptr);

    [[nodiscard]] const std::string& path() const { return path_; }
    void setPath(const std::string& path);
    // The selected file's name; empty when none is selected.
    [[nodiscard]] std::string fileName() const;

private:
    DiskBrowser& browser_;
    std::string path_;
};

} // namespace vantrel
