// The window side of importing a mod: which game it is for, and the import run with a progress
// dialog whose Cancel stops it.
#pragma once

#include "mods/mod_import.h"

#include <QWidget>
#include <optional>

namespace vantrel {

// Asks for the game a mod is imported for; nullopt when the player cancels.
[[nodiscard]] std::optional<GameId> AskForGame(QWidget* parent);

// Runs the import on a thread of its own while a progress dialog shows how far it is; Cancel stops
// it, and nothing of it is then kept. `services.progress` is the dialog's own.
[[nodiscard]] ImportResult ImportWithProgress(QWidget* parent, const ProgramValues& values,
                                              ImportServices services, const ImportRequest& request);

} // namespace vantrel
