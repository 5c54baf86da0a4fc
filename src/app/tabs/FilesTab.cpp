#include "FilesTab.h"

#include "FilesDataSource.h"
#include "FilesTable.h"
#include "MyDocument.h"

#include "AttachmentEditor.h"

#include "AttachmentManager.h"
#include "SmartAttachment.h"
#include "StaticAttachment.h"

#include "FilePanels.h"
#include "Localizer.h"

#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

FilesTab::FilesTab(QWidget *parent)
    : QWidget(parent), m_fileTable(new FilesTable(this)), m_dataSource(new FilesDataSource(this)),
      m_addButton(new QPushButton(Localizer::localizedString("AttachmentTab", "Add Files"), this)),
      m_addPersonalizedButton(new QPushButton(Localizer::localizedString("AttachmentTab", "Add Personalized File"), this)),
      m_removeButton(new QPushButton(Localizer::localizedString("AttachmentTab", "Remove Files"), this))
{
    m_fileTable->setDataSource(m_dataSource);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_fileTable);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_addButton);
    buttons->addWidget(m_addPersonalizedButton);
    buttons->addStretch();
    buttons->addWidget(m_removeButton);
    layout->addLayout(buttons);

    connect(m_addButton, &QPushButton::clicked, this, &FilesTab::doAdd);
    connect(m_addPersonalizedButton, &QPushButton::clicked, this, &FilesTab::doAddPersonalizedFile);
    connect(m_removeButton, &QPushButton::clicked, this, &FilesTab::doRemove);
    connect(m_fileTable, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { tableDoubleClick(index.row()); });
    connect(m_fileTable, &FilesTable::filesDropped, this, &FilesTab::markChanged);
}

FilesTab::~FilesTab() = default;

void FilesTab::setAttachmentManager(AttachmentManager *manager)
{
    m_updateObservation.reset();
    m_attachmentManager = manager;
    if (manager) {
        m_updateObservation = NotificationCenter::defaultCenter().addObserver(
            AttachmentManager::UpdateNotification, manager,
            [this](const Notification &) { attachmentManagerWasUpdated(); });
    }
    m_dataSource->setAttachmentManager(manager);
}

void FilesTab::setDocument(MyDocument *document)
{
    m_document = document;
}

void FilesTab::attachmentManagerWasUpdated()
{
    m_dataSource->reload();
}

void FilesTab::markChanged()
{
    if (m_document)
        m_document->updateChangeCount(Document::ChangeDone);
}

void FilesTab::doAdd()
{
    const QStringList paths =
        FilePanels::current().openFiles(window(), Localizer::localizedString("AttachmentTab", "Add Files"), {}, true);
    if (m_attachmentManager) {
        for (const QString &path : paths)
            m_attachmentManager->addAttachment(std::make_shared<StaticAttachment>(path));
    }
    markChanged();
}

void FilesTab::doAddPersonalizedFile()
{
    if (!m_attachmentManager || !m_document)
        return;
    auto *editor = new AttachmentEditor(&m_document->database(), window());
    editor->setAttachmentManager(m_attachmentManager);
    QPointer<FilesTab> self(this);
    editor->setChangedCallback([self] {
        if (self)
            self->markChanged();
    });
    editor->displayAsSheet();
}

void FilesTab::tableDoubleClick(int row)
{
    if (!m_attachmentManager || !m_document || row < 0)
        return;
    const auto smart = std::dynamic_pointer_cast<SmartAttachment>(m_attachmentManager->attachmentAtIndex(row));
    if (!smart)
        return;
    auto *editor = new AttachmentEditor(&m_document->database(), window());
    editor->setAttachmentManager(m_attachmentManager);
    editor->editAttachment(smart);
    QPointer<FilesTab> self(this);
    editor->setChangedCallback([self] {
        if (self)
            self->markChanged();
    });
    editor->displayAsSheet();
}

void FilesTab::doRemove()
{
    if (m_attachmentManager) {
        QList<int> rows;
        for (const QModelIndex &index : m_fileTable->selectionModel()->selectedRows())
            rows.append(index.row());
        // Highest first, so the lower rows keep their numbers.
        std::sort(rows.begin(), rows.end(), std::greater<>());
        for (const int row : rows)
            m_attachmentManager->removeAttachment(row);
    }
    markChanged();
}

QVariantMap FilesTab::fileDataOf(const AttachmentManager &manager)
{
    QVariantList list;
    for (const AttachmentRef &attachment : manager.attachmentList())
        list << codableVariant(attachment);
    return {{AttachmentsListKey, list}};
}

QVariantMap FilesTab::fileData() const
{
    return m_attachmentManager ? fileDataOf(*m_attachmentManager) : QVariantMap{{AttachmentsListKey, QVariantList()}};
}

void FilesTab::readFileData(const std::optional<QVariantMap> &data)
{
    if (!m_attachmentManager)
        return;
    QList<AttachmentRef> list;
    const QVariant stored = data ? data->value(AttachmentsListKey) : QVariant();
    if (stored.typeId() == QMetaType::QVariantList) {
        for (const QVariant &item : stored.toList()) {
            if (AttachmentRef attachment = codableCast<Attachment>(item))
                list << attachment;
        }
    }
    m_attachmentManager->setAttachmentList(list);
    attachmentManagerWasUpdated();
}
