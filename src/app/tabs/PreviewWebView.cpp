#include "PreviewWebView.h"

#include <QBuffer>
#include <QDir>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include <atomic>
#include <mutex>

// What the page, the interceptor and the handler share. The interceptor
// may be asked on another thread than the view's.
struct PreviewWebView::State {
    std::mutex mutex;
    QUrl url;
    QByteArray html;
    QStringList folders;
    quint64 pageNumber = 0;
    std::atomic<int> blocked = 0;

    bool allowsFile(const QString &path)
    {
        const QString clean = QDir::cleanPath(path);
        const std::lock_guard guard(mutex);
        for (const QString &folder : std::as_const(folders)) {
            const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
            if (clean.startsWith(prefix))
                return true;
        }
        return false;
    }
};

class PreviewWebView::Interceptor : public QWebEngineUrlRequestInterceptor {
public:
    Interceptor(std::shared_ptr<State> state, QObject *parent)
        : QWebEngineUrlRequestInterceptor(parent), m_state(std::move(state))
    {
    }
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const QUrl url = info.requestUrl();
        if (url.scheme().toLatin1() == Scheme)
            return;
        if (url.isLocalFile() && m_state->allowsFile(url.toLocalFile()))
            return;
        ++m_state->blocked;
        info.block(true);
    }

private:
    std::shared_ptr<State> m_state;
};

class PreviewWebView::SchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    SchemeHandler(std::shared_ptr<State> state, QObject *parent)
        : QWebEngineUrlSchemeHandler(parent), m_state(std::move(state))
    {
    }
    void requestStarted(QWebEngineUrlRequestJob *job) override
    {
        QByteArray html;
        {
            const std::lock_guard guard(m_state->mutex);
            if (job->requestUrl() != m_state->url) {
                job->fail(QWebEngineUrlRequestJob::UrlNotFound);
                return;
            }
            html = m_state->html;
        }
        // From memory, whatever its size: an HTML string of more than 2 MB
        // is not shown when handed to the view directly.
        auto *buffer = new QBuffer(job);
        buffer->setData(html);
        buffer->open(QIODevice::ReadOnly);
        job->reply(QByteArrayLiteral("text/html;charset=utf-8"), buffer);
    }

private:
    std::shared_ptr<State> m_state;
};

class PreviewWebView::Page : public QWebEnginePage {
public:
    Page(std::shared_ptr<State> state, QWebEngineProfile *profile, QObject *parent)
        : QWebEnginePage(profile, parent), m_state(std::move(state))
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        const std::lock_guard guard(m_state->mutex);
        if (isMainFrame && url == m_state->url)
            return true;
        ++m_state->blocked;
        return false;
    }

private:
    std::shared_ptr<State> m_state;
};

void PreviewWebView::registerScheme()
{
    static const bool registered = [] {
        QWebEngineUrlScheme scheme(Scheme);
        // With a host, every page has the same origin: stepping from one
        // page to the next stays in the same renderer.
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
        // Local: no web page can reach it; local access: its pages may show
        // the message's pictures from disk.
        scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
        QWebEngineUrlScheme::registerScheme(scheme);
        return true;
    }();
    (void)registered;
}

namespace {
// Before any application object: the engine reads the schemes when it starts.
const bool schemeRegisteredAtStart = (PreviewWebView::registerScheme(), true);
} // namespace

PreviewWebView::PreviewWebView(QWidget *parent)
    : QWebEngineView(parent), m_state(std::make_shared<State>())
{
    // No storage name: off the record, nothing written to disk.
    auto *profile = new QWebEngineProfile(this);
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    QWebEngineSettings *settings = profile->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    profile->setUrlRequestInterceptor(new Interceptor(m_state, profile));
    profile->installUrlSchemeHandler(Scheme, new SchemeHandler(m_state, profile));
    setPage(new Page(m_state, profile, this));
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
}

PreviewWebView::~PreviewWebView()
{
    // The page goes before its profile.
    delete page();
}

void PreviewWebView::showPage(const QString &html, const QStringList &localFolders)
{
    QUrl url;
    {
        const std::lock_guard guard(m_state->mutex);
        url = QUrl(QString::fromLatin1(Scheme) + QStringLiteral("://preview/") + QString::number(++m_state->pageNumber));
        m_state->url = url;
        m_state->html = html.toUtf8();
        m_state->folders.clear();
        for (const QString &folder : localFolders)
            m_state->folders.append(QDir::cleanPath(folder));
    }
    setUrl(url);
}

QUrl PreviewWebView::pageUrl() const
{
    const std::lock_guard guard(m_state->mutex);
    return m_state->url;
}

int PreviewWebView::blockedRequests() const
{
    return m_state->blocked;
}
