// Appointments guessed from free text (the clipboard, dragged text, text clippings).

#include "calendar/aCalendar.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>
#include <memory>
#include <string_view>
#include <unordered_map>

namespace
{
// Deletes every occurrence of each phrase, phrase after phrase. A huge paste can hold thousands
// of different phrases; there one walk over the text deletes, at each position, the first listed
// phrase found there, which gives the same text unless a deletion joins a new phrase together.
QString removePhrases(const QString& text, const QStringList& phrases)
{
    constexpr qint64 kBudget = 50'000'000;
    QString out = text;
    if (qint64(phrases.size()) * text.size() <= kBudget) {
        for (const QString& phrase : phrases)
            out.remove(phrase);
        return out;
    }
    std::unordered_map<std::u16string_view, qsizetype> rank;
    QList<qsizetype> lengths;
    QSet<QChar> firsts;
    for (qsizetype i = 0; i < phrases.size(); ++i) {
        const QString& p = phrases.at(i);
        rank.emplace(std::u16string_view(reinterpret_cast<const char16_t*>(p.utf16()), size_t(p.size())), i);
        if (!lengths.contains(p.size()))
            lengths.append(p.size());
        firsts.insert(p.at(0));
    }
    out.clear();
    out.reserve(text.size());
    const auto* data = reinterpret_cast<const char16_t*>(text.utf16());
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype best = -1;
        qsizetype bestLen = 0;
        if (firsts.contains(text.at(i))) {
            for (const qsizetype len : std::as_const(lengths)) {
                if (i + len > text.size())
                    continue;
                const auto it = rank.find(std::u16string_view(data + i, size_t(len)));
                if (it != rank.end() && (best < 0 || it->second < best)) {
                    best = it->second;
                    bestLen = len;
                }
            }
        }
        if (best >= 0) {
            i += bestLen;
        } else {
            out += text.at(i);
            ++i;
        }
    }
    return out;
}

// Month-name dates are found month by month (all January phrases first). Pairing them with times,
// which are in text order, needs them in text order too, or "December 5 at 10:30am and January 9
// at 2pm" would put 10:30 on January 9. Phrases not found in @p cleaned keep their place at the end.
QStringList inTextOrder(const QStringList& phrases, const QString& cleaned)
{
    constexpr qint64 kBudget = 50'000'000;
    if (phrases.size() < 2 || qint64(phrases.size()) * cleaned.size() > kBudget)
        return phrases;
    QHash<QString, qsizetype> searchFrom;
    QList<std::pair<qsizetype, qsizetype>> keyed; // position, index
    for (qsizetype i = 0; i < phrases.size(); ++i) {
        const QString& p = phrases.at(i);
        const qsizetype pos = cleaned.indexOf(p, searchFrom.value(p, 0));
        searchFrom[p] = pos < 0 ? cleaned.size() : pos + p.size();
        keyed.append({pos < 0 ? std::numeric_limits<qsizetype>::max() : pos, i});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList out;
    out.reserve(phrases.size());
    for (const auto& k : std::as_const(keyed))
        out.append(phrases.at(k.second));
    return out;
}
} // namespace

void aCalendar::processDateString(const QString* text)
{
    if (!text)
        return;
    const QString& whole = *text;

    QStringList found;
    QStringList timesFound;
    returnDatesAndTimes(whole, &found, &timesFound);
    const QStringList dates = inTextOrder(found, removePunc(whole));
    const QStringList times = timesFound;
    const qsizetype D = dates.size();
    const qsizetype T = times.size();

    // The summary is what is left once the recognised phrases are taken out; a phrase found only
    // after punctuation was stripped does not stand in the text and stays.
    QStringList phrases;
    QSet<QString> seen;
    for (const QStringList* list : {&dates, &times}) {
        for (const QString& phrase : *list) {
            if (!phrase.isEmpty() && !seen.contains(phrase)) {
                seen.insert(phrase);
                phrases.append(phrase);
            }
        }
    }
    const QString summary = removePhrases(whole, phrases);

    enum Parts { Times = 1, StartDate = 2, EndDate = 4 };
    // Every entry carries the summary and the whole text. A huge paste full of dates would make
    // every written calendar or list hold the text once per entry (64 KB of "1 2 1 2" gives 10,000
    // entries, a gigabyte of iCalendar); past a budget only the first entry carries the texts, which
    // still keeps all of them.
    constexpr qint64 kTextBudget = 50'000'000;
    const qsizetype entryCount = T == D ? T : T == 2 * D ? D : T >= 1 ? (T + 1) / 2 : D;
    const bool textsOnEvery = qint64(entryCount) * (summary.size() + whole.size()) <= kTextBudget;
    bool first = true;
    // A value that could not be read is stored as absent, like any other.
    auto makeEntry = [&](int parts, const CalDate& startTime, const CalDate& endTime, const CalDate& startDate,
                         const CalDate& endDate) {
        auto entry = std::make_shared<dataEntry>();
        // Times first: the start date then writes DTSTART with the time and the local zone.
        if (parts & Times) {
            entry->setStartTime(startTime);
            entry->setEndTime(endTime);
        }
        if (parts & StartDate)
            entry->setStartDate(startDate);
        if (parts & EndDate)
            entry->setEndDate(endDate);
        if (textsOnEvery || first) {
            entry->setSummary(summary);
            entry->setDESCRIPTION(whole);
        }
        first = false;
        theData.append(entry);
    };
    auto hourLater = [](const CalDate& t) { return t ? t.addHours(1) : CalDate(); };
    // An end time before the start time ("11:30 pm" plus an hour, "10 pm to 2 am") is on the next
    // day; with the start's date the entry would end before it starts.
    auto endDateFor = [](const CalDate& date, const CalDate& start, const CalDate& end) {
        auto secondOfDay = [](const CalDate& t) { return t.hour() * 3600 + t.minute() * 60 + t.second(); };
        if (date && start && end && secondOfDay(end) < secondOfDay(start))
            return date.addDays(1);
        return date;
    };
    // A long paste repeats phrases; each distinct one is read once.
    QHash<QString, CalDate> readDates, readTimes;
    auto dateOf = [&](const QString& phrase) {
        auto it = readDates.constFind(phrase);
        if (it == readDates.constEnd())
            it = readDates.insert(phrase, returnCalendarDate(phrase));
        return it.value();
    };
    auto timeOf = [&](const QString& phrase) {
        auto it = readTimes.constFind(phrase);
        if (it == readTimes.constEnd())
            it = readTimes.insert(phrase, returnCalendarTime(phrase));
        return it.value();
    };

    if (T == 0 && D == 0) {
        // Nothing recognised: the text is kept as the description of an otherwise empty entry.
        auto entry = std::make_shared<dataEntry>();
        entry->setDESCRIPTION(whole);
        theData.append(entry);
        return;
    }
    if (T == D) {
        for (qsizetype i = 0; i < T; ++i) {
            const CalDate start = timeOf(times.at(i));
            const CalDate end = hourLater(start);
            const CalDate date = dateOf(dates.at(i));
            makeEntry(Times | StartDate | EndDate, start, end, date, endDateFor(date, start, end));
        }
        return;
    }
    if (T == 2 * D) {
        for (qsizetype j = 0; j < D; ++j) {
            const CalDate date = dateOf(dates.at(j));
            const CalDate start = timeOf(times.at(2 * j));
            const CalDate end = timeOf(times.at(2 * j + 1));
            makeEntry(Times | StartDate | EndDate, start, end, date, endDateFor(date, start, end));
        }
        return;
    }
    if (T >= 1) {
        for (qsizetype j = 0; 2 * j < T; ++j) {
            const CalDate start = timeOf(times.at(2 * j));
            const CalDate end = 2 * j + 1 < T ? timeOf(times.at(2 * j + 1)) : hourLater(start);
            makeEntry(Times, start, end, CalDate(), CalDate());
        }
        return;
    }
    for (const QString& phrase : dates)
        makeEntry(StartDate, CalDate(), CalDate(), dateOf(phrase), CalDate());
}
