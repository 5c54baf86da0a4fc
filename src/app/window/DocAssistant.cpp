#include "DocAssistant.h"

#include "ui_DocAssistant.h"

#include "Settings.h"

#include <QButtonGroup>
#include <QPushButton>

DocAssistant::DocAssistant(QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::DocAssistant>()), m_docType(new QButtonGroup(this))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    // The ids are the numbers stored as the document-type choice.
    m_docType->addButton(m_ui->typeMailing, 0);
    m_docType->addButton(m_ui->typeNewsletter, 1);
    m_docType->addButton(m_ui->typeInvitation, 2);
    connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &DocAssistant::okClicked);
}

DocAssistant::~DocAssistant() = default;

QCheckBox *DocAssistant::useAsDefaultCheckbox() const
{
    return m_ui->useAsDefaultCheckbox;
}

void DocAssistant::displayAssistantForWindow(QWidget *window, QObject *delegate)
{
    m_delegate = delegate;
    if (window && parentWidget() != window) {
        setParent(window, windowFlags());
        setWindowModality(Qt::WindowModal);
    }
    m_ui->useAsDefaultCheckbox->setChecked(false);
    m_docType->setExclusive(false);
    for (QAbstractButton *button : m_docType->buttons())
        button->setChecked(false);
    m_docType->setExclusive(true);
    if (QAbstractButton *stored = m_docType->button(Settings::docAssistantDocType()))
        stored->setChecked(true);
    open();
}

void DocAssistant::okClicked()
{
    Settings::setDisplayDocAssistant(!m_ui->useAsDefaultCheckbox->isChecked());
    if (m_docType->checkedId() >= 0)
        Settings::setDocAssistantDocType(m_docType->checkedId());
    const QPointer<QObject> delegate = m_delegate;
    accept();
    if (delegate && delegate->metaObject()->indexOfMethod("docAssistantDone()") >= 0)
        QMetaObject::invokeMethod(delegate, "docAssistantDone");
}
