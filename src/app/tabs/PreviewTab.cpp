#include "PreviewTab.h"

#include "MyDocument.h"

#include "Localizer.h"

#include <QLabel>
#include <QVBoxLayout>

PreviewTab::PreviewTab(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *placeholder = new QLabel(Localizer::localizedString("Localized-Document", "PREVIEW_PLACEHOLDER"), this);
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setWordWrap(true);
    layout->addWidget(placeholder);
}

void PreviewTab::setDocument(MyDocument *document)
{
    m_document = document;
}
