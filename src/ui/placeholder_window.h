// A plain window listing the games and mods found, shown until the full main window exists.
#pragma once

#include <QWidget>

#include "mods/program_values.h"
#include "platform/instance_guard.h"

namespace vantrel {

class PlaceholderWindow final : public QWidget {
public:
    PlaceholderWindow(const ProgramValues& values, InstanceGuard& guard);
    ~PlaceholderWindow() override;

private:
    InstanceGuard& guard_;
};

} // namespace vantrel
