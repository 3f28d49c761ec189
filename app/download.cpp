// Apart from the other helpers so that programs that never download do not load the network
// library at start.
#include "app/comm_declare.h"
#include "platform/downloader.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>

namespace kalmora {

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
