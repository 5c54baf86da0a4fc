#include "FindPanel.h"

#include "ui_FindPanel.h"

#include "ApplicationMenus.h"
#include "DatabaseTab.h"

namespace {

QPointer<FindPanel> g_panel;
QPointer<DatabaseTab> g_target;
QString g_lastSearch;

} // namespace

FindPanel::FindPanel() : QDialog(nullptr, Qt::Tool), m_ui(std::make_unique<Ui::FindPanel>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    ApplicationMenus::furnishWindow(this);
    m_ui->searchString->setText(g_lastSearch);
    connect(m_ui->nextButton, &QPushButton::clicked, this, &FindPanel::findNext);
    connect(m_ui->previousButton, &QPushButton::clicked, this, &FindPanel::findPrev);
}

FindPanel::~FindPanel() = default;

FindPanel *FindPanel::show()
{
    if (!g_panel)
        g_panel = new FindPanel;
    g_panel->QDialog::show();
    g_panel->raise();
    g_panel->activateWindow();
    return g_panel;
}

FindPanel *FindPanel::sharedPanel()
{
    return g_panel;
}

QString FindPanel::lastSearchString()
{
    return g_lastSearch;
}

void FindPanel::setTarget(DatabaseTab *tab)
{
    g_target = tab;
}

DatabaseTab *FindPanel::target()
{
    return g_target;
}

void FindPanel::findNext()
{
    search(FindNextTag);
}

void FindPanel::findPrev()
{
    search(FindPreviousTag);
}

void FindPanel::search(int tag)
{
    g_lastSearch = m_ui->searchString->text();
    if (g_target)
        g_target->performFindPanelAction(tag);
}
