#include "TemplateSelector.h"

#include "ui_TemplateSelector.h"

TemplateSelector::TemplateSelector(QWidget *parent, std::function<void(const QString &)> chosen)
    : QDialog(parent), m_ui(std::make_unique<Ui::TemplateSelector>()),
      m_model(new TemplateSelectorModel(PreviewSize, this)), m_chosen(std::move(chosen))
{
    m_ui->setupUi(this);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    m_ui->tableView->setIconSize(PreviewSize);
    m_ui->tableView->setModel(m_model);
    connect(m_ui->tableView, &QAbstractItemView::clicked, this, &TemplateSelector::choose);
    connect(m_ui->tableView, &QAbstractItemView::activated, this, &TemplateSelector::choose);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::reject);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TemplateSelector::~TemplateSelector() = default;

void TemplateSelector::displayAsSheet()
{
    open();
}

void TemplateSelector::choose(const QModelIndex &index)
{
    const QString name = m_model->templateNameAt(index.row());
    if (name.isNull())
        return;
    // Ended first: choosing may change the window under the sheet.
    accept();
    if (m_chosen)
        m_chosen(name);
}
