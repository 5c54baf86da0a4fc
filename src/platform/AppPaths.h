#pragma once

#include <QString>

// Where the application keeps its own files: below the user's data folder
// ($XDG_DATA_HOME, normally ~/.local/share), in "Corvantiline".
namespace AppPaths {
[[nodiscard]] QString applicationSupportPath();     // .../Corvantiline
[[nodiscard]] QString tableStorePath();             // .../Corvantiline/Database/InternalMainDB
[[nodiscard]] QString userTemplatesPath();          // .../Corvantiline/Templates
// The folder vCard tools on Linux sync contacts to: $XDG_DATA_HOME/contacts.
[[nodiscard]] QString contactsPath();
[[nodiscard]] QString homePath();
// The application's own read-only files (built-in templates, pictures,
// scripts): "share/corvantiline" beside the installed program, else the
// source tree's "resources" folder, so a build runs without installing.
// The environment variable CORVANTILINE_RESOURCES overrides both.
[[nodiscard]] QString resourcesPath();
} // namespace AppPaths
