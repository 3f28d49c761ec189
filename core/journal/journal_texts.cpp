#include "core/journal/journal_texts.h"

#include "core/journal/journal_history.h"

namespace kalmora {

QString BatchKindText(BatchKind kind) {
    switch (kind) {
    case BatchKind::FileTimes:
        return QStringLiteral("修改文件时间");
    case BatchKind::VideoShift:
        return QStringLiteral("视频日期移位");
    case BatchKind::Rename:
        return QStringLiteral("按拍摄日期更名");
    case BatchKind::DateRewrite:
        return QStringLiteral("改写拍摄日期");
    case BatchKind::Erase:
        return QStringLiteral("抹除Exif信息");
    case BatchKind::Restore:
        return QStringLiteral("撤销");
    case BatchKind::StampsFromDate:
        return QStringLiteral("用拍摄日期设置文件时间");
    }
    return {};
}

QString UndoLimitText(const BatchSummary &batch) {
    if (batch.originalsPruned)
        return QStringLiteral("抹除前保留的原件已按保留上限清理，抹除的照片不能再撤销");
    if (batch.erasedWithoutOriginal > 0)
        return QStringLiteral("有 %1 张照片抹除时没有保留原件，这些照片不能撤销")
            .arg(batch.erasedWithoutOriginal);
    return {};
}

QString JournalStopText(const QString &reason) {
    return QStringLiteral("无法写入撤销记录，操作在此停止，其余文件没有改动。") +
           QStringLiteral("\r\n\r\n") + reason;
}

QString JournalFailureText(const QString &reason) {
    return QStringLiteral("无法写入撤销记录，本次操作没有开始，没有改动任何文件。") +
           QStringLiteral("\r\n\r\n") + reason;
}

namespace {
const QString CannotWrite = QStringLiteral("无法写入撤销记录：");
const QString SetAside = QStringLiteral("它已改名保存，本次操作没有开始");
} // namespace

QString JournalGoOnText(const QString &reason) {
    QString why = reason.startsWith(CannotWrite) ? reason.mid(CannotWrite.size()) : reason;
    while (why.endsWith(u'。'))
        why.chop(1);
    return CannotWrite + why + QStringLiteral("。是否在没有撤销记录的情况下继续？");
}

bool IsSetAsideText(const QString &reason) {
    return reason.contains(SetAside);
}

namespace journal_detail {

QString cannotWriteText(const QString &why) {
    return CannotWrite + why;
}

QString cannotOpenText(const QString &why) {
    return QStringLiteral("无法打开撤销记录：%1").arg(why);
}

QString foreignFileText() {
    return QStringLiteral("无法打开撤销记录：这个文件不是本程序的撤销记录");
}

QString newerVersionText(int version) {
    return QStringLiteral("无法打开撤销记录：它由本程序的更新版本写成（格式 %1）").arg(version);
}

QString noStateFolderText() {
    return QStringLiteral("找不到用户的状态文件夹");
}

QString cannotMakeFolderText(const QString &folder) {
    return QStringLiteral("无法建立文件夹 %1").arg(folder);
}

QString noWriteAheadLogText() {
    return QStringLiteral("无法写入撤销记录：不能使用预写日志");
}

QString cannotKeepOriginalText(const QString &why) {
    return QStringLiteral("无法保留原件：%1").arg(why);
}

QString damagedText(bool empty, const QString &why) {
    const QString text =
        empty ? QStringLiteral("撤销记录文件是空的(0 字节)，其中的记录已经丢失；下一批操作开始时，"
                               "它将被改名保存，并建立新的撤销记录。")
              : QStringLiteral("撤销记录文件已损坏，无法读取；下一批操作开始时，它将被改名保存，"
                               "并建立新的撤销记录。");
    return why.isEmpty() ? text : text + QStringLiteral("（%1）").arg(why);
}

QString setAsideText(bool empty, const QString &aside) {
    return (empty ? QStringLiteral("撤销记录文件是空的(0 字节)，其中的记录已经丢失；")
                  : QStringLiteral("撤销记录文件已损坏，无法读取；")) +
           SetAside + QStringLiteral("，再次开始时将建立新的撤销记录。改名后的文件：%1").arg(aside);
}

QString abandonedText() {
    return QStringLiteral("已放弃");
}

QString noSuchBatchText() {
    return QStringLiteral("撤销记录中没有这一批操作");
}

} // namespace journal_detail

} // namespace kalmora
