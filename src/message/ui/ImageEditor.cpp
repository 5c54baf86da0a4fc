#include "ImageEditor.h"

#include "ui_ImageEditor.h"

ImageEditor::ImageEditor(QWidget *parent, std::shared_ptr<ImageTag> tag, std::function<void()> changed)
    : QDialog(parent), m_ui(std::make_unique<Ui::ImageEditor>()), m_model(std::move(tag)),
      m_changed(std::move(changed))
{
    m_ui->setupUi(this);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    m_ui->marginText->setRange(ImageEditorModel::MinMargin, ImageEditorModel::MaxMargin);
    m_ui->scalingText->setRange(ImageEditorModel::MinScalingPercent, ImageEditorModel::MaxScalingPercent);
    m_ui->alignMenu->setCurrentIndex(m_model.alignment());
    m_ui->marginText->setValue(m_model.margin());
    m_ui->scalingText->setValue(m_model.scalingPercent());
    connect(m_ui->alignMenu, &QComboBox::activated, this, [this](int index) { m_model.setAlignment(index); });
    connect(m_ui->marginText, &QSpinBox::valueChanged, this, [this](int value) { m_model.setMargin(value); });
    connect(m_ui->scalingText, &QSpinBox::valueChanged, this, [this](int value) { m_model.setScalingPercent(value); });
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &ImageEditor::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &ImageEditor::reject);
}

ImageEditor::~ImageEditor() = default;

ImageEditor *ImageEditor::showImageEditorForWindow(QWidget *window, std::shared_ptr<ImageTag> tag,
                                                   std::function<void()> changed)
{
    if (!tag)
        return nullptr;
    auto *editor = new ImageEditor(window, std::move(tag), std::move(changed));
    editor->open();
    return editor;
}

void ImageEditor::accept()
{
    // A value typed but not yet taken by the spin box counts too.
    m_ui->marginText->interpretText();
    m_ui->scalingText->interpretText();
    if (m_model.apply() && m_changed)
        m_changed();
    QDialog::accept();
}
