#include "FieldNamesEditor.h"

#include "ui_FieldNamesEditor.h"

#include "FieldNamesModel.h"

#include <QHeaderView>
#include <QPushButton>

FieldNamesEditor::FieldNamesEditor(RecipientCommands *commands, std::function<QString(int)> columnAt,
                                   QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::FieldNamesEditor>()),
      m_model(new FieldNamesModel(commands, std::move(columnAt), this))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    m_ui->tableView->setModel(m_model);
    m_ui->tableView->verticalHeader()->hide();
    m_ui->tableView->horizontalHeader()->setStretchLastSection(true);
    m_ui->tableView->resizeColumnToContents(0);
    m_ui->tableView->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                     | QAbstractItemView::AnyKeyPressed);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, [this] {
        m_model->reload();
        accept();
    });
}

FieldNamesEditor::~FieldNamesEditor() = default;

void FieldNamesEditor::displayAsSheet()
{
    open();
}
