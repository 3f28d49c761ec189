#include "cli/output.h"

#include "cli/cli.h"
#include "core/base/path_bytes.h"
#include "core/plan/time_plan.h"

#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace kalmora::cli {

namespace {

// A batch this long shows a bar; a short one ends before a bar would help.
constexpr int LongBatch = 100;

void writeTo(FILE *stream, const QByteArray &bytes) {
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

QString Say(const char *chinese, const char *english) {
    return QString::fromUtf8(ChineseMessages() ? chinese : english);
}

void Message(const QString &text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    writeTo(stderr, t.toUtf8() + '\n');
    fflush(stderr);
}

QString Localized(const QString &windowText) {
    if (ChineseMessages())
        return windowText;
    // Each refusal is asked of its owner with values that give it, so no text is copied here.
    static const QHash<QString, QString> english = {
        {WindowStageRefusal(1, 0),
         QStringLiteral("The end time is not later than the start time.")},
        {DutyStageRefusal(0, 9, 1, 1),
         QStringLiteral("The start of work is not earlier than its end.")},
        {DutyStageRefusal(2, 9, 1, 5),
         QStringLiteral("The start of work must not be earlier than the window's start time.")},
        {DutyStageRefusal(0, 4, 1, 5),
         QStringLiteral("The end of work must not be later than the window's end time.")},
        {BreakStageRefusal(1, 1), QStringLiteral("The lunch break does not end after it starts.")},
        {StepRangeTooSmallText(),
         QStringLiteral("The time window is too small for one step per file; widen it.")},
        {ApplyDutyRefusal(2, 9, 1, 5),
         QStringLiteral("The start of work must not be earlier than the start time.")},
        {ApplyDutyRefusal(0, 4, 1, 5),
         QStringLiteral("The end of work must not be later than the end time.")},
        {CapacityTooSmallText(),
         QStringLiteral("The time between start and end is smaller than the files need; widen "
                        "the window and try again.")},
        {CapacityMayBeTooSmallText(),
         QStringLiteral("The time between start and end may be too small for the files: the "
                        "last files may be given times after the end.")},
    };
    return english.value(windowText, windowText);
}

namespace {
QByteArray g_out;
int g_outError = 0;
constexpr qsizetype OutBlock = 64 * 1024;
} // namespace

int FlushOut() {
    const char *at = g_out.constData();
    qsizetype left = g_out.size();
    while (left > 0 && g_outError == 0) {
        const ssize_t n = ::write(STDOUT_FILENO, at, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            g_outError = n < 0 ? errno : EIO;
            break;
        }
        at += n;
        left -= n;
    }
    g_out.clear();
    return g_outError;
}

int OutputError() {
    return g_outError;
}

void WriteOut(const QByteArray &bytes) {
    if (g_outError != 0)
        return;
    static const bool terminal = isatty(STDOUT_FILENO);
    g_out += bytes;
    if (terminal || g_out.size() >= OutBlock)
        FlushOut();
}

QByteArray Results::tsvField(const QByteArray &bytes) {
    // Nearly every field has nothing to escape: it is handed on as it is, without a copy.
    const auto special = [](char c) { return c == '\t' || c == '\n' || c == '\r' || c == '\\'; };
    if (std::none_of(bytes.begin(), bytes.end(), special))
        return bytes;
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray Results::jsonString(const QString &text) {
    QByteArray out = "\"";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out += '\\';
            out += char(u);
        } else if (u < 0x20 || (u >= 0xD800 && u <= 0xDFFF)) {
            // Control characters, and the lone code points that stand for foreign bytes.
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0')).toLatin1();
        } else {
            out += QString(c).toUtf8();
        }
    }
    return out + '"';
}

void Results::add(const QString &path, const QString &result, const Values &values) {
    if (result == QLatin1String("failed"))
        ++m_failed;
    QByteArray line;
    if (m_json) {
        line = "{\"path\":" + jsonString(path) + ",\"result\":" + jsonString(result);
        for (const auto &[key, value] : values)
            line += ',' + jsonString(key) + ':' + jsonString(value);
        line += '}';
    } else {
        line = tsvField(PathBytes(path));
        line.reserve(line.size() + 96);
        line += '\t';
        line += result.toUtf8();
        for (const auto &value : values) {
            line += '\t';
            line += tsvField(value.second.toUtf8());
        }
    }
    WriteOut(line + '\n');
}

int Results::exitStatus() const {
    return m_failed > 0 ? SomeFailed : AllDone;
}

Progress::Progress(int total) : m_total(total), m_shown(total >= LongBatch && isatty(2)) {}

Progress::~Progress() {
    if (m_shown && m_lastPercent >= 0) {
        writeTo(stderr, "\r\033[K");
        fflush(stderr);
    }
}

void Progress::step(int done) {
    if (!m_shown)
        return;
    const int percent = int(qint64(done) * 100 / m_total);
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    constexpr int Width = 30;
    const int filled = percent * Width / 100;
    const QByteArray bar = "\r[" + QByteArray(filled, '#') + QByteArray(Width - filled, ' ') +
                           "] " + QByteArray::number(percent) + "% " + QByteArray::number(done) +
                           '/' + QByteArray::number(m_total);
    writeTo(stderr, bar);
    fflush(stderr);
}

} // namespace kalmora::cli
