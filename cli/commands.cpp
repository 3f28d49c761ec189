// The commands of kalmora-cli. Each runs the routines the window runs, in the window's order, so
// that a folder comes out the same whichever of the two did the work.
#include "app/path_bytes.h"
#include "app/startup.h"
#include "app/text_export.h"
#include "cli/cli.h"
#include "cli/history.h"
#include "cli/output.h"
#include "exif/exif_reader.h"
#include "exif/image_metadata.h"
#include "exif/read_exif.h"
#include "filetime/file_times.h"
#include "filetime/rename_rules.h"
#include "filetime/video_date.h"
#include "import/file_list.h"
#include "journal/journal.h"
#include "photo/date_shift.h"
#include "photo/exif_tool.h"
#include "plan/time_plan.h"
#include "platform/environment.h"
#include "platform/random.h"
#include "ui/file_grid.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace kalmora::cli {

namespace {

// Grid columns the shared readers fill, as in the window.
constexpr int OriginalDateCol = 1, DateCol = 2;
// How long exiftool may take over one photo, as in the window.
constexpr int PhotoTimeLimitMs = 30000;

const QString Ok = QStringLiteral("ok");
const QString Failed = QStringLiteral("failed");
const QString Skipped = QStringLiteral("skipped");
const QString DryRun = QStringLiteral("dry-run");
// The note of a file left as it was because the journal failed before its turn.
const QString NotDoneText = QStringLiteral("未处理(已停止)");
const QString Planned = QStringLiteral("planned");

int usage(const Invocation &inv, const QString &text) {
    Message(QStringLiteral("kalmora-cli %1: ").arg(inv.command) + text);
    return Usage;
}

QString pathOf(const Invocation &inv, const QString &name) {
    return inv.folder + QLatin1Char('/') + name;
}

// The folder as the journal keeps it: absolute, so that an undo run from anywhere finds the
// files. Bytes of the working folder that are not UTF-8 keep their names.
QString AbsoluteFolder(const QString &folder) {
    if (folder.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(folder);
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer))
        return folder;
    return QDir::cleanPath(NameFromBytes(QByteArray(buffer)) + QLatin1Char('/') + folder);
}

// The folder's files in the window's order and with its pattern rules; no value (and the
// status in `status`) when there is nothing to work on.
std::optional<QStringList> listFiles(const Invocation &inv, int &status) {
    struct stat st {};
    if (stat(PathBytes(inv.folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        status = usage(inv, Say("找不到文件夹：%1", "No such folder: %1").arg(inv.folder));
        return std::nullopt;
    }
    // The pattern before the folder: each of the two reads the folder once it has one.
    FileList list;
    list.setPattern(inv.value(QStringLiteral("pattern"), DefaultPicturePattern()));
    list.setPath(inv.folder);
    if (list.count() == 0) {
        Message(
            Say("该文件夹下指定类型的文件数为0！", "No file in the folder matches the pattern."));
        status = SomeFailed;
        return std::nullopt;
    }
    return list.names();
}

std::optional<QTime> timeOfDay(const QString &text) {
    static const QRegularExpression re(QStringLiteral(R"(^(\d{1,2}):(\d{2})(?::(\d{2}))?$)"));
    const QRegularExpressionMatch m = re.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const QTime t(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return t.isValid() ? std::optional<QTime>(t) : std::nullopt;
}

std::optional<std::pair<QTime, QTime>> timeRange(const QString &text) {
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() != 2)
        return std::nullopt;
    const std::optional<QTime> from = timeOfDay(parts[0]), to = timeOfDay(parts[1]);
    if (!from || !to)
        return std::nullopt;
    return std::pair(*from, *to);
}

// --step N[s|m] and --random A-B[s|m]: the step fields and the unit. Minutes without a suffix,
// as the window starts.
bool readSteps(const Invocation &inv, TimeWindow &w, QString &error) {
    const bool random = inv.has(QStringLiteral("random"));
    if (random && inv.has(QStringLiteral("step"))) {
        error = Say("--step 与 --random 只能选一个。", "Give --step or --random, not both.");
        return false;
    }
    const QString text = random ? inv.value(QStringLiteral("random"))
                                : inv.value(QStringLiteral("step"), QStringLiteral("1m"));
    static const QRegularExpression fixed(QStringLiteral(R"(^(\d{1,3})([sm]?)$)"));
    static const QRegularExpression range(QStringLiteral(R"(^(\d{1,3})-(\d{1,3})([sm]?)$)"));
    const QRegularExpressionMatch m = (random ? range : fixed).match(text.trimmed());
    if (!m.hasMatch()) {
        error = random
                    ? Say("--random 的格式为 A-B[s|m]：%1", "--random takes A-B[s|m]: %1").arg(text)
                    : Say("--step 的格式为 N[s|m]：%1", "--step takes N[s|m]: %1").arg(text);
        return false;
    }
    const QString unit = m.captured(random ? 3 : 2);
    w.unit = unit == QLatin1String("s") ? TimeWindow::Unit::Seconds : TimeWindow::Unit::Minutes;
    w.stepMode = random ? TimeWindow::StepMode::Random : TimeWindow::StepMode::Fixed;
    QList<int> numbers;
    for (int i = 1; i <= (random ? 2 : 1); ++i)
        numbers.append(m.captured(i).toInt());
    // The window's step fields hold 1 to 300.
    for (const int n : numbers)
        if (n < 1 || n > 300) {
            error = Say("范围：1—300，请在此区间指定。", "Steps lie from 1 to 300.");
            return false;
        }
    if (random) {
        if (numbers[0] >= numbers[1]) {
            error = Say("--random 的下限须小于上限。", "--random needs A below B.");
            return false;
        }
        w.randomLower = numbers[0];
        w.randomUpper = numbers[1];
    } else {
        w.step = numbers[0];
    }
    return true;
}

// The plan of the window's options for the listed files, through the checks the window makes
// on the way: fixing the stages, the step-range update of the import, the apply's checks.
struct PlanSetup {
    TimeWindow window;
    QStringList names;
};

int preparePlan(const Invocation &inv, PlanSetup &setup) {
    TimeWindow &w = setup.window;
    const std::optional<DateTime> start = DateTime::parse(inv.value(QStringLiteral("start")));
    const std::optional<DateTime> end = DateTime::parse(inv.value(QStringLiteral("end")));
    if (!inv.has(QStringLiteral("start")) || !inv.has(QStringLiteral("end")))
        return usage(inv, Say("须指定 --start 和 --end。", "--start and --end are required."));
    if (!start || !end)
        return usage(inv, Say("日期时间的格式为 yyyy-mm-dd hh:mm:ss。",
                              "Dates are written yyyy-mm-dd hh:mm:ss."));
    QString error;
    if (!readSteps(inv, w, error))
        return usage(inv, error);
    w.workingHoursOnly = inv.has(QStringLiteral("working-hours"));
    if (w.workingHoursOnly) {
        const auto hours = timeRange(inv.value(QStringLiteral("working-hours")));
        if (!hours)
            return usage(inv, Say("--working-hours 的格式为 HH:MM-HH:MM。",
                                  "--working-hours takes HH:MM-HH:MM."));
        std::tie(w.onDuty, w.offDuty) = *hours;
    }
    w.breakCountsAsWork = !inv.has(QStringLiteral("lunch"));
    if (!w.breakCountsAsWork) {
        if (!w.workingHoursOnly)
            return usage(inv, Say("--lunch 须与 --working-hours 一起使用。",
                                  "--lunch needs --working-hours."));
        const auto lunch = timeRange(inv.value(QStringLiteral("lunch")));
        if (!lunch)
            return usage(inv, Say("--lunch 的格式为 HH:MM-HH:MM。", "--lunch takes HH:MM-HH:MM."));
        std::tie(w.breakStart, w.breakEnd) = *lunch;
    }

    // The stages, as their buttons check them.
    const qint64 startTime = ComparisonNumber(start->time()),
                 endTime = ComparisonNumber(end->time());
    QString refusal = WindowStageRefusal(ComparisonNumber(*start), ComparisonNumber(*end));
    if (refusal.isEmpty() && w.workingHoursOnly)
        refusal = DutyStageRefusal(startTime, endTime, ComparisonNumber(w.onDuty),
                                   ComparisonNumber(w.offDuty));
    if (refusal.isEmpty() && !w.breakCountsAsWork)
        refusal = BreakStageRefusal(ComparisonNumber(w.breakStart), ComparisonNumber(w.breakEnd));
    if (!refusal.isEmpty())
        return usage(inv, Localized(refusal));

    int status = AllDone;
    const std::optional<QStringList> names = listFiles(inv, status);
    if (!names)
        return status;
    setup.names = *names;
    const qint64 n = setup.names.size();

    // With working hours the dates count alone; the duty hours give the times of day.
    w.start = w.workingHoursOnly ? DateTime(start->date(), QTime(0, 0)) : *start;
    w.end = w.workingHoursOnly ? DateTime(end->date(), QTime(0, 0)) : *end;
    const StepLimits limits = StepLimitsFor(WindowCapacity(w) / n);
    if (limits.tooSmall)
        return usage(inv, Localized(StepRangeTooSmallText()));
    // The import narrows the random bounds to what the window allows, as the fields show.
    const int lower = std::min(w.randomLower, limits.lowerMax);
    const int upper = std::min(w.randomUpper, limits.upperMax);
    if (w.stepMode == TimeWindow::StepMode::Random &&
        (lower != w.randomLower || upper != w.randomUpper))
        Message(Say("随机步长已按时间区间缩小为 %1-%2。",
                    "The random step was narrowed to %1-%2 to fit the window.")
                    .arg(lower)
                    .arg(upper));
    w.randomLower = lower;
    w.randomUpper = upper;

    if (w.workingHoursOnly) {
        refusal = ApplyDutyRefusal(startTime, endTime, ComparisonNumber(w.onDuty),
                                   ComparisonNumber(w.offDuty));
        if (!refusal.isEmpty())
            return usage(inv, Localized(refusal));
    }
    TimeWindow plain = w;
    plain.workingHoursOnly = false;
    plain.start = *start;
    plain.end = *end;
    switch (CheckCapacity(std::llabs(WindowCapacity(plain)), n, w)) {
    case CapacityVerdict::Fits:
        break;
    case CapacityVerdict::TooSmall:
        return usage(inv, Localized(CapacityTooSmallText()));
    case CapacityVerdict::MayBeTooSmall:
        // The window asks; a script goes on, as the answer "No" does there.
        Message(Localized(CapacityMayBeTooSmallText()));
        break;
    }
    return -1;
}

struct StampChoice {
    bool creation = true, modification = true, access = true;
};

std::optional<StampChoice> readStamps(const QString &text) {
    StampChoice c{false, false, false};
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QString p = part.trimmed();
        if (p == QLatin1String("c"))
            c.creation = true;
        else if (p == QLatin1String("m"))
            c.modification = true;
        else if (p == QLatin1String("a"))
            c.access = true;
        else
            return std::nullopt;
    }
    return c;
}

int planCommand(const Invocation &inv) {
    if (!readStamps(inv.value(QStringLiteral("stamps"), QStringLiteral("c,m,a"))))
        return usage(inv, Say("--stamps 取 c、m、a 中的一个或几个，以逗号分隔。",
                              "--stamps takes one or more of c,m,a."));
    PlanSetup setup;
    if (const int status = preparePlan(inv, setup); status >= 0)
        return status;
    Results results(inv.flags.contains(QStringLiteral("json")));
    MtRandom random;
    PlanState plan = StartPlan(setup.window);
    for (const QString &name : setup.names) {
        results.add(pathOf(inv, name), Planned, {{QStringLiteral("time"), plan.cursor.toText()}});
        plan = NextPlannedTime(plan, setup.window, random);
    }
    return AllDone;
}

// The texts of the last few date-times: a batch's stamps repeat (a file's stamps are often equal,
// and neighbouring files share a birth time), and putting one into words costs more than the
// write of a file's stamps.
class DateTexts {
public:
    const QString &of(const DateTime &d) {
        for (const auto &[date, text] : m_recent)
            if (date == d)
                return text;
        m_next = (m_next + 1) % m_recent.size();
        m_recent[m_next] = {d, d.toText()};
        return m_recent[m_next].second;
    }

private:
    std::array<std::pair<DateTime, QString>, 4> m_recent{};
    std::size_t m_next = 0;
};

QString textOf(const std::optional<DateTime> &d) {
    return d ? d->toText() : QStringLiteral("-");
}

int applyCommand(const Invocation &inv) {
    const std::optional<StampChoice> stamps =
        readStamps(inv.value(QStringLiteral("stamps"), QStringLiteral("c,m,a")));
    if (!stamps)
        return usage(inv, Say("--stamps 取 c、m、a 中的一个或几个，以逗号分隔。",
                              "--stamps takes one or more of c,m,a."));
    PlanSetup setup;
    if (const int status = preparePlan(inv, setup); status >= 0)
        return status;
    const bool dryRun = inv.flags.contains(QStringLiteral("dry-run"));
    const FolderScope scope(inv.folder);
    // As the import does: every file's stamps first, the kept ones go back as they were read.
    // With all three planned, nothing read would be kept.
    const bool keepsSome = !stamps->creation || !stamps->modification || !stamps->access;
    std::vector<std::optional<FileTimes>> read(size_t(setup.names.size()));
    for (qsizetype i = 0; keepsSome && i < setup.names.size(); ++i)
        read[size_t(i)] = ReadFileTimes(pathOf(inv, setup.names[i]));

    // Every file's change is worked out before the first file changes.
    MtRandom random;
    std::vector<FileTimesUpdate> updates;
    updates.reserve(size_t(setup.names.size()));
    PlanState plan = StartPlan(setup.window);
    for (qsizetype i = 0; i < setup.names.size(); ++i) {
        const DateTime t = plan.cursor;
        plan = NextPlannedTime(plan, setup.window, random);
        const std::optional<FileTimes> &old = read[size_t(i)];
        FileTimesUpdate update;
        update.creation = stamps->creation ? t : old ? std::optional(old->creation) : std::nullopt;
        update.lastWrite = stamps->modification ? t
                           : old                ? std::optional(old->lastWrite)
                                                : std::nullopt;
        update.lastAccess = stamps->access ? t
                            : old          ? std::optional(old->lastAccess)
                                           : std::nullopt;
        updates.push_back(update);
    }

    Results results(inv.flags.contains(QStringLiteral("json")));
    if (dryRun) {
        for (qsizetype i = 0; i < setup.names.size(); ++i) {
            const FileTimesUpdate &update = updates[size_t(i)];
            results.add(pathOf(inv, setup.names[i]), DryRun,
                        {{QStringLiteral("creation"), textOf(update.creation)},
                         {QStringLiteral("modification"), textOf(update.lastWrite)},
                         {QStringLiteral("access"), textOf(update.lastAccess)}});
        }
        return AllDone;
    }
    int status = AllDone;
    const QString folder = AbsoluteFolder(inv.folder);
    const auto journal = OpenCliJournal(folder, BatchKind::FileTimes, status);
    if (!journal)
        return status;
    // Turned off in the settings, it records nothing: no intent need read the file.
    std::vector<int> seqs(updates.size());
    for (qsizetype i = 0; journal->enabled() && i < setup.names.size(); ++i)
        seqs[size_t(i)] = journal->intendStamps(folder + u'/' + setup.names[i], updates[size_t(i)]);
    if (!CommitCliJournal(*journal, status, true))
        return status;

    Progress progress(int(setup.names.size()));
    DateTexts texts;
    const bool onlyCreation = stamps->creation && !stamps->modification && !stamps->access;
    for (qsizetype i = 0; i < setup.names.size(); ++i) {
        const QString path = pathOf(inv, setup.names[i]);
        if (status == NotJournaled || !ReadyForChange(*journal, seqs[size_t(i)], status)) {
            results.add(path, Skipped, {{QStringLiteral("note"), NotDoneText}});
            continue;
        }
        const FileTimesWriteResult written = WriteFileTimes(path, updates[size_t(i)]);
        const WriteOutcome outcome = written.outcome(onlyCreation);
        journal->done(seqs[size_t(i)], outcome != WriteOutcome::Failure, written.state);
        const std::optional<FileTimes> &back = written.readBack;
        const QString note = outcome == WriteOutcome::Success ? QStringLiteral("修改成功")
                             : outcome == WriteOutcome::SuccessCreationUnchanged
                                 ? QStringLiteral("修改成功(创建时间未改)")
                                 : QStringLiteral("修改失败");
        const bool ok = outcome != WriteOutcome::Failure;
        results.add(
            path, ok ? Ok : Failed,
            {{QStringLiteral("creation"), ok && back ? texts.of(back->creation) : QString()},
             {QStringLiteral("modification"), ok && back ? texts.of(back->lastWrite) : QString()},
             {QStringLiteral("access"), ok && back ? texts.of(back->lastAccess) : QString()},
             {QStringLiteral("note"), note}});
        progress.step(int(i + 1));
    }
    journal->end();
    return status == NotJournaled ? status : results.exitStatus();
}

// Shift amounts: "+1d", "-2h30mi", "-1-10d" (a random amount from 1 up to, not including, 10).
const QString UnitPattern = QStringLiteral("(y|mo|d|h|mi|s)");

ShiftUnit unitOf(const QString &u) {
    static const QHash<QString, ShiftUnit> units = {
        {QStringLiteral("y"), ShiftUnit::Year},    {QStringLiteral("mo"), ShiftUnit::Month},
        {QStringLiteral("d"), ShiftUnit::Day},     {QStringLiteral("h"), ShiftUnit::Hour},
        {QStringLiteral("mi"), ShiftUnit::Minute}, {QStringLiteral("s"), ShiftUnit::Second}};
    return units.value(u);
}

// The dialog's settings for each part of the shift; several parts (a fixed shift only) are
// applied one after the other, largest unit first.
std::optional<std::vector<PhotoDateSettings>> readShift(const Invocation &inv, QString &error) {
    const int given = int(inv.has(QStringLiteral("by"))) + int(inv.has(QStringLiteral("random"))) +
                      int(inv.has(QStringLiteral("new-start")));
    if (given != 1) {
        error = Say("须且只能指定 --by、--random、--new-start 之一。",
                    "Give exactly one of --by, --random, --new-start.");
        return std::nullopt;
    }
    std::vector<PhotoDateSettings> parts;
    if (inv.has(QStringLiteral("by"))) {
        const QString text = inv.value(QStringLiteral("by")).trimmed();
        const QRegularExpression whole(QStringLiteral("^[+-](?:\\d+%1)+$").arg(UnitPattern));
        if (!whole.match(text).hasMatch()) {
            error = Say("--by 的格式为 ±[Ny][Nmo][Nd][Nh][Nmi][Ns]：%1",
                        "--by takes ±[Ny][Nmo][Nd][Nh][Nmi][Ns]: %1")
                        .arg(text);
            return std::nullopt;
        }
        const QRegularExpression part(QStringLiteral("(\\d+)%1").arg(UnitPattern));
        for (auto it = part.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            PhotoDateSettings s;
            s.stepText = m.captured(1);
            s.unit = unitOf(m.captured(2));
            s.earlier = text.startsWith(QLatin1Char('-'));
            parts.push_back(s);
        }
        std::stable_sort(parts.begin(), parts.end(),
                         [](const auto &a, const auto &b) { return int(a.unit) < int(b.unit); });
    } else if (inv.has(QStringLiteral("random"))) {
        const QString text = inv.value(QStringLiteral("random")).trimmed();
        const QRegularExpression re(QStringLiteral("^([+-])(\\d+)-(\\d+)%1$").arg(UnitPattern));
        const QRegularExpressionMatch m = re.match(text);
        if (!m.hasMatch() || m.captured(2).toLongLong() >= m.captured(3).toLongLong()) {
            error = Say("--random 的格式为 ±A-B单位（A 小于 B）：%1",
                        "--random takes ±A-B followed by a unit, A below B: %1")
                        .arg(text);
            return std::nullopt;
        }
        PhotoDateSettings s;
        s.randomShift = true;
        s.earlier = m.captured(1) == QLatin1String("-");
        s.stepStartText = m.captured(2);
        s.stepEndText = m.captured(3);
        s.unit = unitOf(m.captured(4));
        parts.push_back(s);
    } else {
        PhotoDateSettings s;
        s.newStart = true;
        s.startText = inv.value(QStringLiteral("new-start")).trimmed();
        if (!IsValidStartText(s.startText)) {
            error =
                Say("非法起始日期时间，请修正！样式及范围：1900-00-00 00:00:00—2200-00-00 00:00:00",
                    "--new-start takes yyyy-mm-dd hh:mm:ss, years 1900 to 2200.");
            return std::nullopt;
        }
        const QString inc = inv.value(QStringLiteral("increment"), QStringLiteral("10s")).trimmed();
        const QRegularExpression re(QStringLiteral("^(\\d+)%1$").arg(UnitPattern));
        const QRegularExpressionMatch m = re.match(inc);
        if (!m.hasMatch()) {
            error = Say("--increment 的格式为 N单位：%1", "--increment takes N and a unit: %1")
                        .arg(inc);
            return std::nullopt;
        }
        s.stepText = m.captured(1);
        s.unit = unitOf(m.captured(2));
        parts.push_back(s);
    }
    return parts;
}

bool photoLibraryAvailable() {
    if (ImageMetadata::libraryAvailable())
        return true;
    Message(Say("GDI+ 初始化失败，本功能暂无法使用。.", "The photo library cannot be started."));
    return false;
}

// What a command over the listed files works with: the names in the window's order, a grid for
// the readers the window fills its rows with, the result lines and the bar.
struct Batch {
    Batch(const Invocation &inv, const QStringList &list)
        : names(list), dryRun(inv.flags.contains(QStringLiteral("dry-run"))),
          results(inv.flags.contains(QStringLiteral("json"))), progress(int(list.size())) {
        grid.setRows(int(names.size()) + 1);
    }
    QStringList names;
    bool dryRun;
    Results results;
    Progress progress;
    FileGrid grid;
};

// No batch when there is nothing to work on or, for photos, no photo library; `status` then
// holds the exit status.
std::unique_ptr<Batch> startBatch(const Invocation &inv, bool photos, int &status) {
    const std::optional<QStringList> names = listFiles(inv, status);
    if (!names)
        return nullptr;
    if (photos && !photoLibraryAvailable()) {
        status = SomeFailed;
        return nullptr;
    }
    return std::make_unique<Batch>(inv, *names);
}

// The journal a command hands its intents to while it still reads its files: none on a dry
// run. False when it cannot be written (told, and `status` says so): the batch must not start.
bool streamingJournal(const Batch &b, const QString &folder, BatchKind kind, int &status,
                      std::unique_ptr<BatchJournal> &journal) {
    if (b.dryRun)
        return true;
    journal = OpenCliJournal(folder, kind, status);
    return journal && StreamCliIntents(*journal, int(b.names.size()), status);
}

int shiftDateCommand(const Invocation &inv) {
    if (inv.has(QStringLiteral("increment")) && !inv.has(QStringLiteral("new-start")))
        return usage(inv, Say("--increment 须与 --new-start 一起使用。",
                              "--increment goes with --new-start."));
    QString error;
    const std::optional<std::vector<PhotoDateSettings>> settings = readShift(inv, error);
    if (!settings)
        return usage(inv, error);
    int status = AllDone;
    const std::unique_ptr<Batch> b = startBatch(inv, true, status);
    if (!b)
        return status;
    MtRandom random;
    std::vector<ShootingDatePlan> plans;
    for (const PhotoDateSettings &s : *settings)
        plans.emplace_back(s, random);
    // Every new date is worked out before the first photo changes. The journal takes each
    // photo's intent as its date is worked out, and writes them meanwhile.
    const int n = int(b->names.size());
    std::unique_ptr<BatchJournal> journal;
    QList<int> seqs(n + 1);
    const QString folder = AbsoluteFolder(inv.folder);
    if (!streamingJournal(*b, folder, BatchKind::DateRewrite, status, journal))
        return status;
    QStringList originals(n + 1), exifTexts(n + 1);
    std::vector<std::optional<DateTime>> dates(size_t(n) + 1);
    // Where the byte-level reader answered: the date's field as it found it, so that neither the
    // journal nor the patch need read the photo again while it stays as it was.
    std::vector<std::optional<LoadedText>> loaded(size_t(n) + 1);
    for (int r = 1; r <= n; ++r) {
        const QString path = pathOf(inv, b->names.at(r - 1));
        // The import's reading, then the rewrite's, as the window does them. The byte-level
        // reader answers for a photo whose date only it can be; the full read for any other.
        if (const std::optional<QString> quick =
                QuickShootingDateCellText(path, &loaded[size_t(r)])) {
            originals[r] = *quick;
        } else {
            ReadExifIntoRow(path, b->grid, ExifRowContext{r, true, false, false});
            originals[r] = b->grid.text(r, OriginalDateCol);
        }
        const PhotoDateSettings &first = settings->front();
        std::optional<DateTime> date = first.newStart ? RewriteBaseDate(first.startText)
                                       : originals[r].isEmpty()
                                           ? std::nullopt
                                           : RewriteBaseDate(HyphenDateText(originals[r]));
        if (date)
            for (ShootingDatePlan &plan : plans)
                date = plan.newDate(*date);
        dates[size_t(r)] = date;
        exifTexts[r] = date ? ExifDateText(*date) : QString();
        if (journal && journal->enabled() && !exifTexts[r].isEmpty()) {
            const QString journalPath = folder + u'/' + b->names.at(r - 1);
            const std::optional<LoadedText> &field = loaded[size_t(r)];
            seqs[r] = field
                          ? journal->intendDatePatch(journalPath, exifTexts[r], TagDateTimeOriginal,
                                                     *field)
                          : journal->intendDatePatch(journalPath, exifTexts[r], PatchedDateTags());
        }
    }
    if (journal && !CommitCliJournal(*journal, status, true))
        return status;
    for (int r = 1; r <= n; ++r) {
        const QString path = pathOf(inv, b->names.at(r - 1));
        const QString original = HyphenDateText(originals[r]);
        const std::optional<DateTime> &date = dates[size_t(r)];
        if (exifTexts[r].isEmpty()) {
            b->results.add(path, Failed,
                           {{QStringLiteral("date"), QString()},
                            {QStringLiteral("original"), original},
                            {QStringLiteral("note"), QStringLiteral("失败(日期数据异常)")}});
        } else if (b->dryRun) {
            b->results.add(
                path, DryRun,
                {{QStringLiteral("date"), date->toText()}, {QStringLiteral("original"), original}});
        } else if (status == NotJournaled || !ReadyForChange(*journal, seqs[r], status)) {
            b->results.add(path, Skipped,
                           {{QStringLiteral("date"), QString()},
                            {QStringLiteral("original"), original},
                            {QStringLiteral("note"), NotDoneText}});
        } else {
            const std::optional<LoadedText> &field = loaded[size_t(r)];
            const DatesPatchResult patched =
                field ? PatchShootingDate(path, exifTexts[r], *field)
                      : PatchShootingDate(path, exifTexts[r], DateReadFirstBytes);
            journal->done(seqs[r], patched.outcome == DatePatchOutcome::Written, patched.after,
                          patched.fields);
            switch (patched.outcome) {
            case DatePatchOutcome::Failed:
                b->results.add(
                    path, Failed,
                    {{QStringLiteral("date"), QString()},
                     {QStringLiteral("original"), original},
                     {QStringLiteral("note"), QStringLiteral("修改失败(文件访问错误)")}});
                break;
            case DatePatchOutcome::NoDateField:
                b->results.add(path, Failed,
                               {{QStringLiteral("date"), QString()},
                                {QStringLiteral("original"), original},
                                {QStringLiteral("note"), QStringLiteral("Exif信息丢失")}});
                break;
            case DatePatchOutcome::Written:
                // Written means the 19 bytes went into the file; a second read would repeat them.
                b->results.add(path, Ok,
                               {{QStringLiteral("date"), date->toText()},
                                {QStringLiteral("original"), original},
                                {QStringLiteral("note"), QStringLiteral("修改成功")}});
                break;
            }
        }
        b->progress.step(r);
    }
    if (journal)
        journal->end();
    return status == NotJournaled ? status : b->results.exitStatus();
}

int renameCommand(const Invocation &inv) {
    const bool video = inv.flags.contains(QStringLiteral("video"));
    int status = AllDone;
    const std::unique_ptr<Batch> b = startBatch(inv, !video, status);
    if (!b)
        return status;
    if (video && !VideoLibraryError().isEmpty()) {
        Message(ChineseMessages() ? VideoLibraryError()
                                  : QStringLiteral("Videos cannot be read: %1 could not be "
                                                   "loaded. Install the package libmediainfo0v5.")
                                        .arg(QStringLiteral("libmediainfo.so.0")));
        return SomeFailed;
    }
    // Every new name is worked out before the first file is renamed; the journal writes each
    // intent meanwhile.
    const int n = int(b->names.size());
    std::unique_ptr<BatchJournal> journal;
    QList<int> seqs(n + 1);
    const QString folder = AbsoluteFolder(inv.folder);
    if (!streamingJournal(*b, folder, BatchKind::Rename, status, journal))
        return status;
    QStringList newNames(n + 1);
    for (int r = 1; r <= n; ++r) {
        const QString name = b->names.at(r - 1);
        const QString path = pathOf(inv, name);
        if (video)
            b->grid.setText(r, DateCol, ReadVideoDate(path));
        else
            ReadExifIntoRow(path, b->grid, ExifRowContext{r, false, false, false});
        newNames[r] = RenameTargetName(name, b->grid.text(r, DateCol), video);
        if (journal && journal->enabled() && !newNames[r].isEmpty())
            seqs[r] = journal->intendRename(folder + u'/' + name, folder + u'/' + newNames[r]);
    }
    if (journal && !CommitCliJournal(*journal, status, true))
        return status;
    QSet<QString> taken; // names a dry run has handed out already
    for (int r = 1; r <= n; ++r) {
        const QString path = pathOf(inv, b->names.at(r - 1));
        const QString &newName = newNames[r];
        if (newName.isEmpty()) {
            b->results.add(path, Failed,
                           {{QStringLiteral("name"), QString()},
                            {QStringLiteral("note"), RenameInvalidDateText()}});
        } else if (b->dryRun) {
            struct stat st {};
            const bool exists = taken.contains(newName) ||
                                lstat(PathBytes(pathOf(inv, newName)).constData(), &st) == 0;
            taken.insert(newName);
            b->results.add(path, exists ? Failed : DryRun,
                           {{QStringLiteral("name"), newName},
                            {QStringLiteral("note"),
                             exists ? RenameFailureText(RenameError::Exists) : QString()}});
        } else if (status == NotJournaled || !ReadyForChange(*journal, seqs[r], status)) {
            b->results.add(
                path, Skipped,
                {{QStringLiteral("name"), QString()}, {QStringLiteral("note"), NotDoneText}});
        } else {
            const RenameError e = RenameNoReplace(path, pathOf(inv, newName));
            journal->done(seqs[r], e == RenameError::None);
            b->results.add(path, e == RenameError::None ? Ok : Failed,
                           {{QStringLiteral("name"), e == RenameError::None ? newName : QString()},
                            {QStringLiteral("note"), RenameFailureText(e)}});
        }
        b->progress.step(r);
    }
    if (journal)
        journal->end();
    return status == NotJournaled ? status : b->results.exitStatus();
}

// Where an export goes: the file of -o (written whole or not at all), or standard output.
class ExportTarget {
public:
    explicit ExportTarget(const Invocation &inv)
        : m_encoding(inv.flags.contains(QStringLiteral("utf8")) ? ExportEncoding::Utf8
                                                                : ExportEncoding::Gb18030) {
        const QString out = inv.value(QStringLiteral("o"), QStringLiteral("-"));
        if (out != QLatin1String("-"))
            m_file.emplace(out, m_encoding);
    }
    bool open() {
        if (m_file && !m_file->open()) {
            Message(Say("无法创建导出文件“%1”。%2", "Cannot create the export file %1. %2")
                        .arg(m_file->path(), m_file->refusal()));
            return false;
        }
        return true;
    }
    bool writeLine(const QString &line) {
        if (m_file)
            return m_file->writeLine(line);
        const std::optional<QByteArray> bytes = ExportLineBytes(line, m_encoding);
        if (bytes)
            WriteOut(*bytes);
        return bytes.has_value();
    }
    bool commit() {
        if (m_file && !m_file->commit()) {
            Message(Say("导出文件“%1”写入失败。%2", "The export file %1 could not be written. %2")
                        .arg(m_file->path(), m_file->refusal()));
            return false;
        }
        return true;
    }

private:
    ExportEncoding m_encoding;
    std::optional<TextExport> m_file;
};

int exportTimesCommand(const Invocation &inv) {
    int status = AllDone;
    const std::unique_ptr<Batch> b = startBatch(inv, false, status);
    if (!b)
        return status;
    ExportTarget target(inv);
    if (!target.open())
        return SomeFailed;
    bool ok = target.writeLine(TimeListHeader());
    bool allRead = true;
    int r = 0;
    const FolderScope scope(inv.folder);
    for (const QString &name : b->names) {
        const std::optional<FileTimes> times = ReadFileTimes(pathOf(inv, name));
        if (!times) {
            // As in the window, a file whose stamps cannot be read has no line.
            Message(Say("读取失败：%1", "Cannot read the stamps of %1")
                        .arg(DisplayName(pathOf(inv, name))));
            allRead = false;
        } else {
            ok = ok &&
                 target.writeLine(TimeListLine(inv.folder + QLatin1Char('/'), name, times->creation,
                                               times->lastWrite, times->lastAccess));
        }
        b->progress.step(++r);
    }
    ok = target.commit() && ok;
    return ok && allRead ? AllDone : SomeFailed;
}

int exportExifCommand(const Invocation &inv) {
    int status = AllDone;
    const std::unique_ptr<Batch> b = startBatch(inv, true, status);
    if (!b)
        return status;
    ExportTarget target(inv);
    if (!target.open())
        return SomeFailed;
    bool ok = true;
    int r = 0;
    for (const QString &name : b->names) {
        // An empty line, then the block; the writer ends it with one more line break.
        ok = ok &&
             target.writeLine(QStringLiteral("\r\n") + ExifExportBlock(name, pathOf(inv, name)));
        b->progress.step(++r);
    }
    ok = target.commit() && ok;
    return ok ? AllDone : SomeFailed;
}

int stripCommand(const Invocation &inv) {
    int status = AllDone;
    const std::unique_ptr<Batch> b = startBatch(inv, true, status);
    if (!b)
        return status;
    QString program;
    if (!b->dryRun) {
        ProcessEnvironment environment;
        program = LocateExifTool(environment.variable(QStringLiteral("PATH")),
                                 ComputeAppValues(environment).WorkFolder);
        if (program.isEmpty()) {
            Message(Say("找不到 exiftool。请用系统的软件包管理器安装（例如 sudo apt install "
                        "libimage-exiftool-perl）。",
                        "exiftool was not found. Install it with the system's package manager "
                        "(for example sudo apt install libimage-exiftool-perl)."));
            return SomeFailed;
        }
    }
    // The import's reading: a photo without Exif is left alone, as the window leaves it.
    const int n = int(b->names.size());
    QList<bool> takes(n + 1);
    for (int r = 1; r <= n; ++r) {
        ReadExifIntoRow(pathOf(inv, b->names.at(r - 1)), b->grid,
                        ExifRowContext{r, true, false, false});
        takes[r] = !b->grid.text(r, OriginalDateCol).isEmpty();
    }
    // The tool takes only whole paths (a relative one could read as one of its options).
    const QString folder = AbsoluteFolder(inv.folder);
    std::unique_ptr<BatchJournal> journal;
    QList<int> seqs(n + 1);
    if (!b->dryRun) {
        journal = OpenCliJournal(folder, BatchKind::Erase, status);
        if (!journal)
            return status;
        const bool unkept = inv.flags.contains(QStringLiteral("no-undo-for-large"));
        for (int r = 1; journal->enabled() && r <= n; ++r) {
            if (!takes[r])
                continue;
            const QString path = folder + u'/' + b->names.at(r - 1);
            BatchJournal::Keep keep = BatchJournal::Keep::Kept;
            seqs[r] = journal->intendContent(path, true, &keep);
            if (keep != BatchJournal::Keep::TooLarge)
                continue;
            // The window asks here; a script has said beforehand, or nothing is erased.
            const QString why = Say("照片“%1”不在撤销记录所在的磁盘上，保留它的原件需要复制，"
                                    "超过了复制上限(%2 MB)。",
                                    "Keeping the original of %1 needs a copy (it is not on the "
                                    "journal's disk) larger than the copy limit (%2 MB).")
                                    .arg(DisplayName(path))
                                    .arg(journal->config().copyLimitBytes >> 20);
            if (!unkept) {
                Message(why + u'\n' +
                        Say("本次抹除没有开始，没有改动任何照片；加上 --no-undo-for-large "
                            "可不保留原件而抹除这样的照片（不能撤销）。",
                            "Nothing was erased. With --no-undo-for-large such photos are erased "
                            "without their originals (no undo for them)."));
                return NotJournaled;
            }
            Message(why + u' ' + Say("它将被抹除，但不能撤销。", "It is erased without undo."));
            seqs[r] = journal->intendContent(path, false);
        }
        if (!CommitCliJournal(*journal, status, true))
            return status;
    }
    std::optional<ExifToolProcess> tool;
    if (!b->dryRun)
        tool.emplace(program, PhotoTimeLimitMs);
    int handedUpTo = 0;  // the rows whose photos the tool has been given
    int newestFirst = 0; // the first of the rows handed over last
    // Several photos to a command, from row `from` on: each command costs the tool about as much
    // as a small photo. The tool still answers for each photo on its own. False when the journal
    // cannot record them: nothing is handed over then.
    const auto handOver = [&](int from) {
        QStringList group;
        int first = 0, last = 0;
        for (int r = from; r <= n && group.size() < ExifToolProcess::GroupPhotos; ++r) {
            if (!takes[r])
                continue;
            first = first ? first : r;
            group.append(folder + u'/' + b->names.at(r - 1));
            last = r;
        }
        if (group.isEmpty())
            return true;
        // Each photo's intent is on the disk before the tool may change the photo.
        if (!ReadyForChange(*journal, seqs[last], status))
            return false;
        newestFirst = first;
        handedUpTo = last;
        tool->send(group);
        return true;
    };
    for (int r = 1; r <= n; ++r) {
        const QString path = pathOf(inv, b->names.at(r - 1));
        if (!takes[r]) {
            b->results.add(path, Skipped,
                           {{QStringLiteral("note"), QStringLiteral("Exif信息丢失")}});
        } else if (b->dryRun) {
            b->results.add(path, DryRun, {{QStringLiteral("note"), QString()}});
        } else if (r > handedUpTo && (status == NotJournaled || !handOver(r))) {
            b->results.add(path, Skipped, {{QStringLiteral("note"), NotDoneText}});
        } else {
            const EraseOutcome outcome = tool->next();
            // The tool has answered the first photo of its last command: it takes the next
            // command while these photos are read again.
            if (r == newestFirst)
                handOver(handedUpTo + 1);
            const QString note =
                EraseResultText(outcome, outcome == EraseOutcome::Erased && MetadataErased(path));
            journal->done(seqs[r], note.isEmpty());
            b->results.add(path, note.isEmpty() ? Ok : Failed, {{QStringLiteral("note"), note}});
        }
        b->progress.step(r);
    }
    if (journal)
        journal->end();
    return status == NotJournaled ? status : b->results.exitStatus();
}

QList<OptionSpec> withCommon(QList<OptionSpec> options, bool writes) {
    options.append({QStringLiteral("pattern"), true});
    options.append({QStringLiteral("json"), false});
    if (writes)
        options.append({QStringLiteral("dry-run"), false});
    return options;
}

// The options of the time window, shared by plan and apply.
QList<OptionSpec> windowOptionSpecs() {
    QList<OptionSpec> options;
    for (const char *name : {"start", "end", "step", "random", "working-hours", "lunch", "stamps"})
        options.append({QLatin1String(name), true});
    return options;
}

const QString WindowOptions = QStringLiteral(
    "  --start DATE           the window's start, yyyy-mm-dd hh:mm:ss (required)\n"
    "  --end DATE             the window's end, yyyy-mm-dd hh:mm:ss (required)\n"
    "  --step N[s|m]          a fixed step of N minutes (m, the default) or seconds (s);\n"
    "                         1 to 300, default 1m\n"
    "  --random A-B[s|m]      a random step from A to B (both included) instead\n"
    "  --working-hours HH:MM-HH:MM\n"
    "                         only times inside these working hours, each day\n"
    "  --lunch HH:MM-HH:MM    skip this lunch break (with --working-hours)\n"
    "  --stamps c,m,a         the stamps that take the planned time: creation,\n"
    "                         modification, access (default all three)\n");
const QString CommonOptions =
    QStringLiteral("  --pattern PATTERNS     file types, ';'-separated wildcards; default\n"
                   "                         \"*.jpeg;*.jpe;*.jpg;*.bmp;*.gif;*.tif;*.tiff\"\n"
                   "  --json                 JSON Lines instead of tab-separated lines\n");
// The options of the two exports.
QList<OptionSpec> exportOptionSpecs() {
    return {{QStringLiteral("o"), true},
            {QStringLiteral("utf8"), false},
            {QStringLiteral("pattern"), true}};
}
const QString ExportOptions =
    QStringLiteral("  -o FILE                write to FILE (default standard output)\n"
                   "  --utf8                 UTF-8 instead of GB18030\n"
                   "  --pattern PATTERNS     file types, as for the other commands\n");

const QString DryRunOption =
    QStringLiteral("  --dry-run              print what would be done; change nothing, record\n"
                   "                         nothing in the journal\n");

} // namespace

const QList<Command> &Commands() {
    static const QList<Command> commands = {
        {QStringLiteral("plan"), QStringLiteral("print the planned time of every file"),
         QStringLiteral("Usage: kalmora-cli plan [options] FOLDER\n\n"
                        "Prints the time the window's plan gives each file, in the window's\n"
                        "order. Lines: path, \"planned\", time.\n\nOptions:\n") +
             WindowOptions + CommonOptions,
         withCommon(windowOptionSpecs(), false), true, planCommand},
        {QStringLiteral("apply"), QStringLiteral("write the planned times as the files' stamps"),
         QStringLiteral(
             "Usage: kalmora-cli apply [options] FOLDER\n\n"
             "Writes each file's planned time into the chosen stamps; the others keep the\n"
             "values read before (whole seconds). Lines: path, result (ok, failed, dry-run),\n"
             "creation, modification, access as read back, and the window's row text.\n\n"
             "Options:\n") +
             WindowOptions + CommonOptions + DryRunOption,
         withCommon(windowOptionSpecs(), true), true, applyCommand},
        {QStringLiteral("shift-date"), QStringLiteral("rewrite the photos' shooting dates"),
         QStringLiteral(
             "Usage: kalmora-cli shift-date (--by SHIFT | --random SHIFT | --new-start DATE)\n"
             "                             [options] FOLDER\n\n"
             "Rewrites the original shooting date inside each JPEG photo, in place.\n"
             "Units: y years, mo months, d days, h hours, mi minutes, s seconds.\n"
             "Lines: path, result, new date, original date, the window's row text.\n\n"
             "Options:\n"
             "  --by ±[Ny][Nmo][Nd][Nh][Nmi][Ns]\n"
             "                         move each date by a fixed amount, e.g. -1d or +2h30mi\n"
             "  --random ±A-BUNIT      move each date by a random amount from A up to, not\n"
             "                         including, B, as the window's dialog: e.g. -1-10d\n"
             "  --new-start DATE       the first photo gets DATE (yyyy-mm-dd hh:mm:ss), each\n"
             "                         next one DATE plus one more --increment\n"
             "  --increment NUNIT      default 10s\n") +
             CommonOptions + DryRunOption,
         withCommon({{QStringLiteral("by"), true},
                     {QStringLiteral("random"), true},
                     {QStringLiteral("new-start"), true},
                     {QStringLiteral("increment"), true}},
                    true),
         true, shiftDateCommand},
        {QStringLiteral("rename"), QStringLiteral("rename files after their shooting date"),
         QStringLiteral("Usage: kalmora-cli rename [options] FOLDER\n\n"
                        "Renames each photo to \"yyyy-mm-dd hh.mm.ss\" and its own extension, "
                        "from its\nshooting date; never replaces a file. Lines: path, result, "
                        "new name, the\nwindow's row text.\n\nOptions:\n"
                        "  --video                videos, after their recorded date\n") +
             CommonOptions + DryRunOption,
         withCommon({{QStringLiteral("video"), false}}, true), true, renameCommand},
        {QStringLiteral("export-times"), QStringLiteral("export the files' time stamps as text"),
         QStringLiteral("Usage: kalmora-cli export-times [options] FOLDER\n\n"
                        "The window's time-list export: a header, then one tab-separated line "
                        "per file.\n"
                        "\nOptions:\n") +
             ExportOptions,
         exportOptionSpecs(), true, exportTimesCommand},
        {QStringLiteral("export-exif"), QStringLiteral("export every Exif field of the photos"),
         QStringLiteral("Usage: kalmora-cli export-exif [options] FOLDER\n\n"
                        "The window's Exif export: per photo an empty line, its name line and "
                        "its\nfields with the window's Chinese labels.\n"
                        "\nOptions:\n") +
             ExportOptions,
         exportOptionSpecs(), true, exportExifCommand},
        {QStringLiteral("strip"), QStringLiteral("remove all metadata from the photos (exiftool)"),
         QStringLiteral(
             "Usage: kalmora-cli strip [options] FOLDER\n\n"
             "Strips all metadata from each photo through one running exiftool; "
             "photos\nwithout Exif are skipped. Lines: path, result (ok, failed, "
             "skipped, dry-run),\nthe window's row text.\n\n"
             "The original of each photo is kept for the undo: a hard link beside the\n"
             "journal, or a copy when the photo is on another disk. A copy larger than\n"
             "the copy limit (setting Journal/CopyLimitMB, default 100) stops the whole\n"
             "batch before anything changes (exit status 3), unless:\n\nOptions:\n"
             "  --no-undo-for-large    erase such photos without keeping them (no undo\n"
             "                         for those photos)\n") +
             CommonOptions + DryRunOption,
         withCommon({{QStringLiteral("no-undo-for-large"), false}}, true), true, stripCommand},
        {QStringLiteral("history"),
         QStringLiteral("list the batches that can be undone"),
         QStringLiteral("Usage: kalmora-cli history [--json]\n\n"
                        "Lists the batches of the journal, newest first. Lines: batch number,\n"
                        "start (yyyy-mm-dd hh:mm:ss), operation, state (finished, interrupted,\n"
                        "running, undone), files done, failed, in all, folder.\n\nOptions:\n"
                        "  --json                 one JSON object per line\n"),
         {{QStringLiteral("json"), false}},
         false,
         HistoryCommand},
        {QStringLiteral("undo"),
         QStringLiteral("put the files of a batch back as they were"),
         QStringLiteral(
             "Usage: kalmora-cli undo [--json] [--dry-run] [BATCH]\n\n"
             "Puts every file of BATCH (default: the newest batch of files no undo took yet)\n"
             "back as it was before, where the file still holds exactly what the batch left;\n"
             "any other file is skipped with the reason. The undo is itself a batch, so it\n"
             "can be undone. Lines: path, result (restored, unchanged, skipped, failed),\n"
             "reason.\n\n"
             "Options:\n"
             "  --json                 one JSON object per line\n"
             "  --dry-run              judge every file as the undo would and print the\n"
             "                         verdicts (dry-run for a file it would restore); change\n"
             "                         nothing, record nothing\n"),
         {{QStringLiteral("json"), false}, {QStringLiteral("dry-run"), false}},
         false,
         UndoCommand,
         true},
    };
    return commands;
}

} // namespace kalmora::cli
