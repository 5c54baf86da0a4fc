#pragma once

// The web view of the preview: a page served from memory through a scheme
// of our own, on a private profile that keeps nothing, with JavaScript and
// plugins off. It loads nothing from the network: a request interceptor
// lets through only the page itself and local files under the folders
// given with it, and navigation away from the page is refused (links,
// frames, meta refreshes).
//
// Main thread only.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEngineView>

#include <memory>

class PreviewWebView : public QWebEngineView {
    Q_OBJECT
public:
    // The scheme the pages are served under.
    static inline const QByteArray Scheme = QByteArrayLiteral("corvantiline-preview");

    explicit PreviewWebView(QWidget *parent = nullptr);
    ~PreviewWebView() override;

    // Shows the page; its local files may come from the folders.
    void showPage(const QString &html, const QStringList &localFolders);
    [[nodiscard]] QUrl pageUrl() const;
    // Requests refused since the view was made.
    [[nodiscard]] int blockedRequests() const;

    // Registers the scheme; must run before the first web view is made.
    static void registerScheme();

private:
    class Interceptor;
    class Page;
    class SchemeHandler;
    struct State;
    std::shared_ptr<State> m_state;
};
