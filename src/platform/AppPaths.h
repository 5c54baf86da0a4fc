#pragma once

#include <QString>

// Where the application keeps its own files: below the user's data folder
// ($XDG_DATA_HOME, normally ~/.local/share), in "Corvantiline".
namespace AppPaths {
[[nodiscard]] QString applicationSupportPath();     // .../Corvantiline
[[nodiscard]] QString tableStorePath();             // .../Corvantiline/Database/InternalMainDB
[[nodiscard]] QString userTemplatesPath();          // .../Corvantiline/Templates
[[nodiscard]] QString homePath();
} // namespace AppPaths
