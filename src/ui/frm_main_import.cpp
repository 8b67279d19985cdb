// The main window's import: the command, dropped archives and folders, and the review in the editor.
#include "mods/definition_reader.h"
#include "mods/mod_catalogue.h"
#include "ui/frm_add_mod.h"
#include "ui/frm_main.h"
#include "ui/import_progress.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

namespace vantrel {
namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// The one local file or folder a drop carries, or an empty text.
QString DroppedPath(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().front().isLocalFile()) {
        return {};
    }
    return data->urls().front().toLocalFile();
}

} // namespace

void FrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!launching_ && services_.importFiles && !DroppedPath(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void FrmMain::dropEvent(QDropEvent* event) {
    const QString path = DroppedPath(event->mimeData());
    if (launching_ || path.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    ImportFrom(path);
}

void FrmMain::mnuImportArchive_Click() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Import a Downloaded Mod"), QString(),
        QStringLiteral(
            "Mod archives (*.zip *.7z *.rar *.tar *.gz *.tgz *.bz2 *.tbz2 *.xz *.txz);;All files (*)"));
    if (!path.isEmpty()) {
        ImportFrom(path);
    }
}

void FrmMain::mnuImportFolder_Click() {
    const QString path = QFileDialog::getExistingDirectory(this, QStringLiteral("Import a Mod's Folder"));
    if (!path.isEmpty()) {
        ImportFrom(path);
    }
}

void FrmMain::ImportFrom(const QString& hostPath) {
    if (!services_.importFiles) {
        return;
    }
    const auto source =
        services_.diskBrowser.WindowsPath(QFileInfo(hostPath).absoluteFilePath().toStdString());
    if (!source) {
        services_.messages.Show(hostPath.toStdString() +
                                    " cannot be reached from the machine the games run on.",
                                MessageIcon::None);
        return;
    }
    std::optional<GameId> game = SelectedGame();
    if (!game && !(game = AskForGame(this))) {
        return;
    }
    ProgramValues& values = services_.values;
    const auto userData = [&](GameId id) {
        const std::string& folder = InstallFolderOf(values, id);
        return services_.userDataFolder && !folder.empty() ? services_.userDataFolder(folder) : std::string();
    };
    SetStatus(QStringLiteral("Importing ") + hostPath + QStringLiteral("…"));
    ImportResult result;
    for (std::string name;;) {
        // One import at a time, and no launch or edit while it unpacks.
        launching_ = true;
        setEnabled(false);
        result = ImportWithProgress(
            this, values, {*services_.importFiles, services_.textFiles, services_.messages, {}, userData},
            {*source, name, game});
        setEnabled(true);
        launching_ = false;
        if (!result.nameTaken) {
            break;
        }
        // A mod of that name stays as it is: the player may give the import another.
        bool given = false;
        name = QInputDialog::getText(this, QStringLiteral("Vantrel"),
                                     Text(result.error + "\n\nName of the imported mod:"), QLineEdit::Normal,
                                     Text(result.name + " 2"), &given)
                   .trimmed()
                   .toStdString();
        if (!given || name.empty()) {
            SetStatus(QStringLiteral("Nothing was imported."));
            return;
        }
    }
    if (!result.ok) {
        SetStatus(result.cancelled ? Text(result.error) : QString());
        if (!result.cancelled) {
            services_.messages.Show(result.error, MessageIcon::None);
        }
        return;
    }
    LoadModCatalogue(values, services_.directoryListing, services_.textFiles);
    RefreshModList();
    int row = -1;
    for (std::int16_t i = 0; i < values.nModCount; ++i) {
        row = values.Mods[static_cast<std::size_t>(i)].definitionFile == result.definition ? i : row;
    }
    if (row >= 0) {
        lstMods->setCurrentRow(row);
    }
    services_.messages.Show(ImportSummary(result) + "\n\nThe editor shows the mod next: save it to keep it.",
                            MessageIcon::Information);
    // The player confirms the import by saving it in the editor; anything else takes it away.
    ModRecord record;
    bool saved = false;
    if (ReadModDefinition(services_.textFiles, values, result.definition, record)) {
        saved = ShowEditorOn(record);
        CloseAddModIfClosed();
    }
    // Saved under another name, the mod keeps only that definition.
    const std::string savedTitle = frmAddMod_ ? frmAddMod_->txtTitle->text().toStdString() : result.name;
    if (saved && savedTitle != result.name) {
        services_.singleFiles.DeleteFile(result.definition);
        LoadModCatalogue(values, services_.directoryListing, services_.textFiles);
    }
    if (!saved) {
        services_.singleFiles.DeleteFile(result.definition);
        services_.importFiles->RemoveTree(result.modFolder);
        services_.importFiles->RemoveEmptyFolder(ImportedModsFolder(values));
        LoadModCatalogue(values, services_.directoryListing, services_.textFiles);
        SetStatus(Text("The import of " + result.name + " was not kept."));
    } else {
        SetStatus(Text(result.name + " was imported into " + result.modFolder + "."));
    }
    RefreshModList();
}

} // namespace vantrel
