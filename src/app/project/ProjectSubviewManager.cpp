#include "ProjectSubviewManager.h"

#include "AddressView.h"
#include "AddressViewController.h"

#include <QStackedWidget>

ProjectSubviewManager::ProjectSubviewManager(QStackedWidget *container, Factory factory, QObject *parent)
    : QObject(parent), m_container(container), m_factory(std::move(factory))
{
}

void ProjectSubviewManager::loadView(int tag)
{
    if ((tag != TablesTag && tag != MailProjectsTag) || !m_container)
        return;
    AddressView *page = m_pages.value(tag);
    if (!page) {
        page = m_factory ? m_factory(tag) : nullptr;
        if (!page)
            return;
        m_pages.insert(tag, page);
        m_container->addWidget(page);
    }
    m_container->setCurrentWidget(page);
    m_active = page;
    m_activeTag = tag;
    emit activeViewChanged(page);
}

QUndoStack *ProjectSubviewManager::windowWillReturnUndoManager() const
{
    return m_active ? m_active->controller()->undoManager() : nullptr;
}
