// The program folder and command line on Linux, in the Windows form the core expects.
#pragma once

#include <string>
#include <vector>

#include "platform/process_environment.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

class WineProcessEnvironment final : public ProcessEnvironment {
public:
    // `arguments` are those after the program's own name.
    WineProcessEnvironment(const WinePrefix& prefix, std::vector<std::string> arguments)
        : prefix_(prefix), arguments_(std::move(arguments)) {}

    // $VANTREL_HOME when set, else the folder of the executable, through the prefix's drives.
    [[nodiscard]] std::string ProgramFolder() override;
    // The arguments joined by single blanks, as Windows hands a program its command-line tail.
    [[nodiscard]] std::string ArgumentText() override;

private:
    const WinePrefix& prefix_;
    std::vector<std::string> arguments_;
};

} // namespace vantrel
