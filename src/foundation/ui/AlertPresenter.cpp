#include "AlertPresenter.h"

#include "QtAlertPresenter.h"

namespace {
AlertPresenter *installedPresenter = nullptr;
}

AlertPresenter &AlertPresenter::current()
{
    if (installedPresenter)
        return *installedPresenter;
    static QtAlertPresenter qtPresenter;
    return qtPresenter;
}

void AlertPresenter::setCurrent(AlertPresenter *presenter)
{
    installedPresenter = presenter;
}
