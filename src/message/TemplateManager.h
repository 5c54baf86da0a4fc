#pragma once

// The process-wide registry of templates: the ones the application carries,
// then the user's. Reloading replaces the registry's entries; a template
// someone still holds stays alive and unchanged. Safe to read from any
// thread.

#include "MessageTemplate.h"

#include <QMap>
#include <QStringList>

#include <mutex>

class TemplateManager {
public:
    [[nodiscard]] static TemplateManager &defaultManager();

    // Empties the registry, then adds the built-in and the user templates.
    static void loadTemplates();
    // The user's template folder, created when missing; null when it cannot be.
    [[nodiscard]] static QString templateInstallPath();
    // The folder of the built-in templates.
    [[nodiscard]] static QString bundledTemplatesPath();
    // Copies the folder's subfolders and regular files (never what a link
    // points to) under its own name; false, leaving nothing behind, when the
    // name is taken or the folder is larger than a template can be (2000
    // entries, 256 MiB, 16 levels).
    [[nodiscard]] static bool installTemplate(const QString &path);
    [[nodiscard]] static bool uninstallTemplate(const QString &name);
    // Null when the folder is a template; else the localisation key (table
    // "Localized") of what is wrong.
    [[nodiscard]] static QString checkTemplateFolder(const QString &path);

    [[nodiscard]] MessageTemplateRef templateForName(const QString &name) const;
    // Sorted.
    [[nodiscard]] QStringList templateNames() const;
    void clearTemplateList();
    // Every folder below the path (not hidden) as a template under its name.
    void addTemplatesAtPath(const QString &path);

private:
    TemplateManager() = default;
    mutable std::mutex m_mutex;
    QMap<QString, MessageTemplateRef> m_templates;
};
