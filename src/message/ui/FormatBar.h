#pragma once

// The compact format bar above the message body: bold, italic, underline,
// font family, size, text colour, link and list, acting through the Format
// menu's actions and model on the text that has the focus, and showing the
// format at its caret.
//
// Main thread only.

#include <QWidget>

class FormatActions;
class QComboBox;
class QFontComboBox;
class QToolButton;
class TextFormatModel;

class FormatBar : public QWidget {
    Q_OBJECT
public:
    FormatBar(FormatActions *actions, TextFormatModel *model, QWidget *parent = nullptr);

    [[nodiscard]] QToolButton *boldButton() const { return m_bold; }
    [[nodiscard]] QToolButton *italicButton() const { return m_italic; }
    [[nodiscard]] QToolButton *underlineButton() const { return m_underline; }
    [[nodiscard]] QFontComboBox *familyBox() const { return m_family; }
    [[nodiscard]] QComboBox *sizeBox() const { return m_size; }
    [[nodiscard]] QToolButton *colorButton() const { return m_color; }
    [[nodiscard]] QToolButton *linkButton() const { return m_link; }
    [[nodiscard]] QToolButton *listButton() const { return m_list; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showState();
    // A size picked from the list or typed and confirmed with Return.
    void applySize(const QString &typed);
    // The bar's boxes hand the focus back to the text they act on.
    void returnFocus();

    FormatActions *m_actions;
    TextFormatModel *m_model;
    QToolButton *m_bold;
    QToolButton *m_italic;
    QToolButton *m_underline;
    QFontComboBox *m_family;
    QComboBox *m_size;
    QToolButton *m_color;
    QToolButton *m_link;
    QToolButton *m_list;
};
