#include "core/base/text_export.h"

#include "core/base/path_bytes.h"
#include "core/base/write_protection.h"

#include <QFile>

#include <cerrno>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

namespace {

std::optional<QByteArray> convert(const QByteArray &in, const char *to, const char *from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return std::nullopt;
    QByteArray out;
    QByteArray buffer(qMax<qsizetype>(64, in.size() * 2), Qt::Uninitialized);
    char *inPtr = const_cast<char *>(in.constData());
    size_t inLeft = size_t(in.size());
    bool ok = true;
    while (inLeft > 0) {
        char *outPtr = buffer.data();
        size_t outLeft = size_t(buffer.size());
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer.constData(), buffer.size() - qsizetype(outLeft));
        if (r == size_t(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return out;
}

} // namespace

std::optional<QByteArray> EncodeGb18030(const QString &text) {
    return convert(text.toUtf8(), "GB18030", "UTF-8");
}

std::optional<QString> DecodeGb18030(const QByteArray &bytes) {
    const std::optional<QByteArray> utf8 = convert(bytes, "UTF-8", "GB18030");
    if (!utf8)
        return std::nullopt;
    return QString::fromUtf8(*utf8);
}

QString OneLine(const QString &text) {
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString line = text;
    line.replace(u'\r', QStringLiteral("\\r"));
    line.replace(u'\n', QStringLiteral("\\n"));
    return line;
}

QString ExportField(const QString &text) {
    if (!text.contains(u'\\') && !text.contains(u'\t'))
        return OneLine(text);
    // The backslash first, so that the escapes added after it stay single.
    QString field = text;
    field.replace(u'\\', QStringLiteral("\\\\"));
    field.replace(u'\t', QStringLiteral("\\t"));
    return OneLine(field);
}

std::optional<QByteArray> ExportLineBytes(const QString &line, ExportEncoding encoding) {
    const QString text = line + QStringLiteral("\r\n");
    if (encoding == ExportEncoding::Utf8)
        return text.toUtf8();
    return EncodeGb18030(text);
}

QString TimeListHeader() {
    return QStringLiteral("文件路径\t文件名\t文件创建时间\t文件修改时间\t文件访问时间");
}

QString TimeListLine(const QString &folderText, const QString &name, const DateTime &creation,
                     const DateTime &lastWrite, const DateTime &lastAccess) {
    return ExportName(folderText) + QLatin1Char('\t') + ExportName(name) + QLatin1Char('\t') +
           creation.toGeneralText() + QLatin1Char('\t') + lastWrite.toGeneralText() +
           QLatin1Char('\t') + lastAccess.toGeneralText();
}

TextExport::TextExport(const QString &path, ExportEncoding encoding)
    : m_file(path), m_encoding(encoding) {}

bool TextExport::nameIsSafe() {
    // The file is written beside the name and renamed over it, which replaces a link rather than
    // following it; but the writer resolves a link it finds on opening and would replace the
    // link's target instead.
    const OwnFileTarget target = ExamineOwnFileTarget(m_file.fileName());
    if (target == OwnFileTarget::Free || target == OwnFileTarget::OwnRegularFile)
        return true;
    m_refusal = target == OwnFileTarget::Link
                    ? QStringLiteral("该文件名已被一个链接占用，为安全起见不予写入。")
                    : QStringLiteral("该文件名已被其他文件占用，为安全起见不予写入。");
    return false;
}

bool TextExport::open() {
    m_file.setDirectWriteFallback(false);
    m_ok = nameIsSafe() && m_file.open(QIODevice::WriteOnly);
    return m_ok;
}

bool TextExport::writeLine(const QString &line) {
    if (!m_ok)
        return false;
    const std::optional<QByteArray> bytes = ExportLineBytes(line, m_encoding);
    m_ok = bytes && m_file.write(*bytes) == bytes->size();
    return m_ok;
}

bool TextExport::commit() {
    // QSaveFile's commit misses a failed flush of its buffer (a full disk) and puts the cut-off
    // file in place, reporting success: flush first, and check. The name is looked at again, as
    // something may have taken it meanwhile.
    if (!m_ok || !m_file.flush() || !nameIsSafe()) {
        m_file.cancelWriting();
        m_file.commit();
        return false;
    }
    return m_file.commit();
}

} // namespace kalmora
