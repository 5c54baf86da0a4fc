#pragma once

// The image editor sheet: window-modal on its parent's window, deleted when
// it closes. OK stores what the user changed and calls `done` when
// something was; Cancel stores nothing.

#include "ImageEditorModel.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class ImageEditor;
}

class ImageEditor : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ImageEditor)
public:
    ImageEditor(QWidget *parent, std::shared_ptr<ImageTag> tag, std::function<void()> changed);
    ~ImageEditor() override;

    // Shows the editor for the tag over the window.
    static ImageEditor *showImageEditorForWindow(QWidget *window, std::shared_ptr<ImageTag> tag,
                                                 std::function<void()> changed);

    [[nodiscard]] ImageEditorModel &model() { return m_model; }
    void accept() override;

private:
    std::unique_ptr<Ui::ImageEditor> m_ui;
    ImageEditorModel m_model;
    std::function<void()> m_changed;
};
