#include "networkaccess.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QThread>

namespace velmora {

QNetworkAccessManager &threadNetworkAccess()
{
    thread_local QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        static const bool systemProxy = [] {
            QNetworkProxyFactory::setUseSystemConfiguration(true);
            return true;
        }();
        Q_UNUSED(systemProxy);

        QThread *thread = QThread::currentThread();
        QCoreApplication *app = QCoreApplication::instance();
        if (app && app->thread() == thread) {
            manager = new QNetworkAccessManager(app);
        } else {
            manager = new QNetworkAccessManager;
            QObject::connect(thread, &QThread::finished, manager.data(), &QObject::deleteLater);
        }
    }
    return *manager;
}

} // namespace velmora
