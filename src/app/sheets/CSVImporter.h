#pragma once

// The delimited-text import: an open panel for the file, then the options
// sheet with a live preview (CSVImportSession). In recipient-table mode the
// rows go into the document's table as one undo step; in target mode they
// are handed over as a dictionary ("rows", "firstRowAsColumnTitles",
// "originalFilePath"). The importer deletes itself when it ends.
//
// Main thread only.

#include <QDialog>
#include <QPointer>
#include <QVariantMap>

#include <functional>
#include <memory>

class CSVImportSession;
class RecipientCommands;

namespace Ui {
class ImportCSV;
}

class CSVImporter : public QDialog {
    Q_OBJECT
public:
    using Target = std::function<void(const QVariantMap &result)>;

    explicit CSVImporter(QWidget *parentWindow);
    ~CSVImporter() override;

    // Recipient-table mode.
    void setCommands(RecipientCommands *commands) { m_commands = commands; }
    // Target mode (without commands).
    void setTarget(Target target) { m_target = std::move(target); }

    // Asks for the file; with one chosen, shows the options sheet, else ends.
    void displayAsSheet();
    // The options sheet for a file already chosen.
    void displayOptionsSheet(const QString &path);

    [[nodiscard]] Ui::ImportCSV *ui() const { return m_ui.get(); }
    [[nodiscard]] CSVImportSession *session() const { return m_session; }

    void okClicked();

private:
    void showStatus();

    std::unique_ptr<Ui::ImportCSV> m_ui;
    CSVImportSession *m_session = nullptr;
    QPointer<RecipientCommands> m_commands;
    Target m_target;
};
