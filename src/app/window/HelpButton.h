#pragma once

#include <QPushButton>
#include <QString>

// A button that opens a page of the help: the page is named by the button's
// alternate title (a property, so window descriptions can set it).
class HelpButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString alternateTitle READ alternateTitle WRITE setAlternateTitle)
public:
    explicit HelpButton(QWidget *parent = nullptr);

    [[nodiscard]] QString alternateTitle() const { return m_alternateTitle; }
    void setAlternateTitle(const QString &anchor) { m_alternateTitle = anchor; }

    // The help file for the anchor, or empty when there is none.
    [[nodiscard]] static QString helpFileForAnchor(const QString &anchor);

public slots:
    void helpButtonClicked();

private:
    QString m_alternateTitle;
};
