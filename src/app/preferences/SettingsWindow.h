#pragma once

// The preferences window: general preferences, the default message font,
// the sending accounts with the pane of the selected one, the templates and
// the blacklist. One at a time, not modal. Closing it in any way (the OK
// button, the close button, Escape, quitting) stores what changed first;
// when that cannot be written the user chooses between discarding the
// changes and keeping the window open. The logic lives in SettingsEditor
// and the panes' own classes.
//
// Main thread only.

#include "MailAccountImporter.h"
#include "SettingsEditor.h"
#include "SettingsWindowView.h"

#include <QDialog>

#include <memory>

class BlacklistSettings;
class QAbstractItemView;
class QListView;
class SettingsView;
class TemplateSettings;
namespace Ui {
class SettingsWindow;
}

class SettingsWindow final : public QDialog, private SettingsWindowView, public AccountImportDelegate {
    Q_OBJECT
public:
    // Tags of the add menu's items.
    enum AddTag { AddSmtp = 1, AddLocalServer = 2, AddAppleMail = 3, ImportThunderbird = 10, ImportEvolution = 11 };

    explicit SettingsWindow(QWidget *parent = nullptr);
    ~SettingsWindow() override;
    Q_DISABLE_COPY_MOVE(SettingsWindow)

    // The window that is open, if any.
    [[nodiscard]] static SettingsWindow *openWindow();
    // Shows the open window, or opens one.
    static void showSettings();
    // Makes Settings::showSettings open this window.
    static void registerWithSettings();
    // Stores and closes the open window (at quit); false when it stays
    // open because storing failed and the user kept the changes.
    static bool closeOpenWindow();

    [[nodiscard]] SettingsEditor &editor() { return m_editor; }
    [[nodiscard]] SettingsView *accountView() const { return m_accountView; }
    [[nodiscard]] QListView *accountTable() const;
    [[nodiscard]] TemplateSettings *templateSettings() const { return m_templates; }
    [[nodiscard]] BlacklistSettings *blacklistSettings() const { return m_blacklist; }

    // The import sheet's result.
    void addAccountWithData(const QVariantMap &account) override;

public slots:
    void saveSettings();
    void addAccount(int tag);
    void removeAccount();
    void changeAccountType(int index);
    void setDefaultMessageFont();
    void ignoreErrorsStateChanged();
    // Escape closes, and closing stores.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    AccountPane &showAccountPane(const QString &type) override;
    [[nodiscard]] QString accountNameText() const override;
    void showAccountControls(bool accountShown, int typeIndex, const QString &name) override;
    void selectAccountRow(int row) override;
    void reportWriteFailure(const QString &filePath) override;
    void reportException(const std::exception &exception) override;

    void loadCorvantilineSettings();
    [[nodiscard]] SettingsEditor::General generalControls() const;
    void updateDefaultMessageFontField();
    void tableViewSelectionDidChange();
    void updateTemplateButtons();
    [[nodiscard]] QList<int> selectedRows(const QAbstractItemView *view) const;
    bool storeAll();
    void connectControls();

    std::unique_ptr<Ui::SettingsWindow> m_ui;
    SettingsEditor m_editor;
    SettingsView *m_accountView = nullptr;
    TemplateSettings *m_templates;
    BlacklistSettings *m_blacklist;
    bool m_closed = false;
};
