// Free-text guessing: 10,000 pasted snippets turned into entries, 100 snippets per document.

#include "bench.h"

#include "calendar/aCalendar.h"
#include "platform/UserDefaults.h"

#include <QLocale>
#include <QRandomGenerator>

namespace
{
const int kSnippets = 10000;
const int kBatch = 100;

// What people paste: mail sentences and notes with numeric or month-name dates, 12- and 24-hour
// times, ranges, several appointments in one text, and texts without any date.
QStringList generate(int count)
{
    QRandomGenerator rng(2007);
    static const char* const months[] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};
    static const char* const shortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const who[] = {"Anna", "Dr. Miller", "the board", "Tom and Sue", "the plumber", "Kim"};
    static const char* const what[] = {"Dentist appointment", "Project review", "Lunch", "Call", "Parent evening",
                                       "Flight LH 412", "Yoga class", "Budget meeting"};
    auto pick = [&](const auto& list) { return QString::fromUtf8(list[rng.bounded(int(std::size(list)))]); };
    auto hour12 = [&] {
        return QStringLiteral("%1:%2 %3")
            .arg(1 + rng.bounded(12))
            .arg(rng.bounded(4) * 15, 2, 10, QLatin1Char('0'))
            .arg(rng.bounded(2) ? QStringLiteral("pm") : QStringLiteral("am"));
    };
    auto hour24 = [&] {
        return QStringLiteral("%1:%2").arg(7 + rng.bounded(14), 2, 10, QLatin1Char('0')).arg(rng.bounded(4) * 15, 2, 10,
                                                                                              QLatin1Char('0'));
    };
    auto numeric = [&] {
        return QStringLiteral("%1/%2/%3").arg(1 + rng.bounded(12)).arg(1 + rng.bounded(28)).arg(2006 + rng.bounded(3));
    };
    QStringList out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        QString s;
        switch (rng.bounded(7)) {
        case 0: s = pick(what) + QStringLiteral(" on ") + numeric() + QStringLiteral(" at ") + hour12(); break;
        case 1:
            s = QStringLiteral("Meet %1 %2th %3 %4 at %5, bring the slides.")
                    .arg(pick(who))
                    .arg(4 + rng.bounded(16))
                    .arg(pick(months))
                    .arg(2006 + rng.bounded(3))
                    .arg(hour12());
            break;
        case 2:
            s = pick(what) + QStringLiteral(" with ") + pick(who) + QStringLiteral(", ") + pick(shortMonths)
                + QStringLiteral(" %1 from %2 to %3").arg(1 + rng.bounded(28)).arg(hour24()).arg(hour24());
            break;
        case 3:
            s = QStringLiteral("Hi all,\nreminder: %1 is moved to %2.\nPlease confirm by %3.\nThanks, %4")
                    .arg(pick(what), numeric(), numeric(), pick(who));
            break;
        case 4:
            s = QStringLiteral("Conference day %1 %2: keynote %3, panel %4, dinner %5")
                    .arg(pick(months))
                    .arg(1 + rng.bounded(28))
                    .arg(hour12(), hour12(), hour12());
            break;
        case 5:
            s = QStringLiteral("Note to self: call %1 about the invoice (ref. 2006-%2), tel. 555 %3")
                    .arg(pick(who))
                    .arg(rng.bounded(1000))
                    .arg(1000 + rng.bounded(9000));
            break;
        default: s = pick(what) + QStringLiteral(" ") + hour24() + QStringLiteral(" tomorrow in room 4.") + QString::number(rng.bounded(30)); break;
        }
        out.append(s);
    }
    return out;
}

int runGuess(const QStringList& args)
{
    const QString name = args.value(0, QStringLiteral("text_guess"));
    // Its own store: the US conventions below must not leak into other cases.
    UserDefaults::useStore(bench::scratchDir() + QStringLiteral("/text-guess-settings.ini"));
    UserDefaults::setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    UserDefaults::standard().setValue(QStringLiteral("NSShortDateFormatString"), QStringLiteral("%m/%d/%y"));
    UserDefaults::standard().setValue(QStringLiteral("NSTimeFormatString"), QStringLiteral("%I:%M:%S %p"));

    const QStringList snippets = generate(kSnippets);
    qint64 chars = 0;
    for (const QString& s : snippets)
        chars += s.size();

    QElapsedTimer timer;
    timer.start();
    qint64 entries = 0, dated = 0, timed = 0;
    for (int first = 0; first < snippets.size(); first += kBatch) {
        aCalendar cal;
        for (int i = first; i < std::min<int>(first + kBatch, int(snippets.size())); ++i)
            cal.processDateString(&snippets.at(i));
        entries += cal.entryCount();
        for (const EntryPtr& e : cal.getTheData()) {
            dated += e->getStartDate() ? 1 : 0;
            timed += e->getStartTime() ? 1 : 0;
        }
    }
    const double secs = bench::seconds(timer);

    bench::report(name, QStringLiteral("snippets"), double(snippets.size()), "");
    bench::report(name, QStringLiteral("input characters"), double(chars), "");
    bench::report(name, QStringLiteral("entries made"), double(entries), "");
    bench::report(name, QStringLiteral("entries with a date"), double(dated), "");
    bench::report(name, QStringLiteral("entries with a time"), double(timed), "");
    bench::report(name, QStringLiteral("processDateString, all snippets"), secs, "s");
    bench::report(name, QStringLiteral("per snippet"), secs * 1e6 / double(snippets.size()), "us");
    bench::report(name, QStringLiteral("peak RSS"), bench::peakRssMiB(), "MiB");
    return secs <= 2.0 ? 0 : 1;
}
} // namespace

BENCH_CASE("_text_guess", runGuess);
BENCH_CASE("text_guess", [](const QStringList&) {
    return bench::runChild(QStringLiteral("_text_guess"), {QStringLiteral("text_guess")});
});
