#pragma once

// The find window shared by every document: a text and the buttons Next
// (tag 2) and Previous (tag 3), which search the recipient table of the
// document window that was active last (once clicked, the panel itself is
// the active window). The last search text outlives the panel.

#include <QDialog>
#include <QPointer>

#include <memory>

class DatabaseTab;

namespace Ui {
class FindPanel;
}

class FindPanel : public QDialog {
    Q_OBJECT
public:
    static constexpr int FindNextTag = 2;
    static constexpr int FindPreviousTag = 3;

    // Made on first use; deleted when closed.
    static FindPanel *show();
    [[nodiscard]] static FindPanel *sharedPanel();
    // Null until a search button was pressed.
    [[nodiscard]] static QString lastSearchString();
    // The recipient tab the buttons search; the tabs set it as their window
    // becomes active.
    static void setTarget(DatabaseTab *tab);
    [[nodiscard]] static DatabaseTab *target();

    ~FindPanel() override;

    void findNext();
    void findPrev();

private:
    FindPanel();
    void search(int tag);

    std::unique_ptr<Ui::FindPanel> m_ui;
};
