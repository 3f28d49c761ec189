#include "app/comm_declare.h"

#include "platform/downloader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QThread>
#include <QTimer>

namespace kalmora {

void PauseWithEvents(float seconds) {
    QElapsedTimer clock;
    clock.start();
    const qint64 limitNs = qint64(double(seconds) * 1e9);
    if (clock.nsecsElapsed() > limitNs)
        return;
    if (!QCoreApplication::instance()) {
        QThread::usleep(quint64(limitNs / 1000 + 1));
        return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    // The timer counts whole milliseconds; rounding up would overshoot each pause by up to one,
    // which adds up over a batch's thousands of pauses. The last fraction is slept off instead.
    for (qint64 elapsed = clock.nsecsElapsed(); elapsed <= limitNs;
         elapsed = clock.nsecsElapsed()) {
        const qint64 remainingNs = limitNs - elapsed;
        if (remainingNs >= 1000000) {
            timer.start(int(remainingNs / 1000000));
            loop.exec();
        } else {
            QThread::usleep(quint64(remainingNs / 1000 + 1));
        }
    }
}

QString ShortPathOf(const QString &path) {
    if (path.isEmpty() || !QFileInfo::exists(path))
        return {};
    return path;
}

QString StringFromWidePointer(const wchar_t *pointer) {
    if (!pointer)
        return {};
    return QString::fromWCharArray(pointer);
}

bool DownloadUrlToFile(const QString &url, const QString &targetPath, int stallTimeoutMs) {
    QSaveFile out(targetPath);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return false;

    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(stallTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    QNetworkReply *reply = manager.get(request);

    bool writeOk = true;
    qint64 received = 0;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        const QByteArray chunk = reply->readAll();
        received += chunk.size();
        if (writeOk && out.write(chunk) != chunk.size()) {
            writeOk = false;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();

    const QByteArray rest = reply->readAll();
    received += rest.size();
    if (writeOk && out.write(rest) != rest.size())
        writeOk = false;

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    bool ok = writeOk && reply->error() == QNetworkReply::NoError;
    if (reply->url().scheme().startsWith(QLatin1String("http")))
        ok = ok && status >= 200 && status < 300;
    if (length.isValid() && length.toLongLong() != received)
        ok = false; // the body was cut short
    reply->deleteLater();

    // QSaveFile's commit misses a failed flush of its buffer (a full disk): flush and check.
    if (!ok || !out.flush()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

bool NetworkDownloader::download(const QString &url, const QString &targetPath) {
    return DownloadUrlToFile(url, targetPath);
}

} // namespace kalmora
