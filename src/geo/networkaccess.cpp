#include "networkaccess.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QThread>

namespace velmora {

namespace {

QPointer<QNetworkAccessManager> mainThreadManager;

// Runs at the start of the application object's destruction: as one of its children the
// manager would go only after Qt has unloaded its TLS backend, which warns and leaks.
void deleteMainThreadManager()
{
    delete mainThreadManager.data();
}

} // namespace

void useSystemProxy()
{
    static const bool once = [] {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        return true;
    }();
    Q_UNUSED(once);
}

QNetworkAccessManager &threadNetworkAccess()
{
    thread_local QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        useSystemProxy();

        QThread *thread = QThread::currentThread();
        const QCoreApplication *app = QCoreApplication::instance();
        manager = new QNetworkAccessManager;
        if (app && app->thread() == thread) {
            mainThreadManager = manager;
            qAddPostRoutine(deleteMainThreadManager);
        } else {
            QObject::connect(thread, &QThread::finished, manager.data(), &QObject::deleteLater);
        }
    }
    return *manager;
}

} // namespace velmora
