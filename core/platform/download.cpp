// Apart from the other helpers so that programs that never download do not load the network
// library at start.
#include "core/base/write_protection.h"
#include "core/platform/comm_declare.h"
#include "core/platform/downloader.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QTimer>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

bool DownloadUrlToFile(const QString &url, const QString &targetPath, int stallTimeoutMs,
                       int totalTimeoutMs, qint64 maxBytes) {
    // The save file would write through a link to wherever it points.
    if (!MayWriteOwnFile(targetPath))
        return false;
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
    // Read no further ahead than this, so that the download stops soon after the size limit.
    constexpr qint64 ReadAhead = 1024 * 1024;
    reply->setReadBufferSize(ReadAhead);

    bool writeOk = true, tooLarge = false, tooLong = false;
    qint64 received = 0;
    QEventLoop loop;
    auto take = [&](const QByteArray &chunk) {
        received += chunk.size();
        if (received > maxBytes) {
            tooLarge = true;
            reply->abort();
        } else if (writeOk && out.write(chunk) != chunk.size()) {
            writeOk = false;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        // Again now that the transfer surely exists: the network thread drops a size that
        // reaches it before the transfer has begun, and would then read without limit.
        reply->setReadBufferSize(ReadAhead);
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (!tooLarge)
            take(reply->readAll());
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // A server that sends a byte now and then never stalls; the whole download has its limit.
    QTimer overall;
    overall.setSingleShot(true);
    QObject::connect(&overall, &QTimer::timeout, &loop, [&] {
        tooLong = true;
        reply->abort();
    });
    overall.start(totalTimeoutMs);
    if (!reply->isFinished())
        loop.exec();
    overall.stop();

    if (!tooLarge && !tooLong)
        take(reply->readAll());

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    bool ok = writeOk && !tooLarge && !tooLong && reply->error() == QNetworkReply::NoError;
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
