// The CalDAV calendars in the window: pop-up, "From iCal", "To iCal", the password question.
#include "CalDavWindow.h"

#include "AppControl.h"
#include "CalDavAccountsDialog.h"
#include "Dialogs.h"
#include "MyWindow.h"
#include "bridges/caldavCalendars.h"
#include "platform/UserDefaults.h"

#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace
{
/// Shown only when the work takes longer than this: a small calendar comes and goes unseen.
constexpr int kSheetDelayMs = 400;

/// A window-modal sheet: what is going on, a progress bar, "Cancel".
class WorkSheet : public QDialog
{
public:
    WorkSheet(QWidget* parent, const QString& text, int total)
        : QDialog(parent)
        , m_bar(new QProgressBar(this))
        , m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
    {
        setWindowModality(Qt::WindowModal);
        setWindowTitle(QStringLiteral("CalDAV"));
        setAccessibleName(text);
        auto* label = new QLabel(text, this);
        label->setWordWrap(true);
        label->setAccessibleName(text);
        m_bar->setRange(0, total); // 0: busy, the end unknown
        m_bar->setAccessibleName(QStringLiteral("Progress"));
        m_bar->setToolTip(total > 0 ? QStringLiteral("Entries the server has answered for, of all to add")
                                    : QStringLiteral("Waiting for the server"));
        m_bar->setAccessibleDescription(m_bar->toolTip());
        m_cancel->setAccessibleName(m_cancel->text());
        m_cancel->setToolTip(total > 0 ? QStringLiteral("Send nothing more; what went in stays in the calendar")
                                       : QStringLiteral("Stop waiting; nothing is read"));
        m_cancel->setAccessibleDescription(m_cancel->toolTip());
        m_cancel->setAutoDefault(false);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(m_cancel);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label);
        layout->addWidget(m_bar);
        layout->addLayout(buttons);
        setMinimumWidth(380);
    }
    QProgressBar* bar() const { return m_bar; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    QProgressBar* m_bar;
    QPushButton* m_cancel;
};

/// Shows @p sheet after the delay unless @p over by then.
void showLater(QPointer<WorkSheet> sheet)
{
    QTimer::singleShot(kSheetDelayMs, sheet, [sheet] {
        if (sheet)
            sheet->open();
    });
}
} // namespace

namespace CalDavWindow
{
void install(AppControl& control)
{
    caldav::Calendars& calendars = caldav::Calendars::instance();
    caldav::Calendars::install(caldav::Calendars::Mode::Background);
    QPointer<AppControl> guard(&control);
    auto first = std::make_shared<bool>(true);
    QObject::connect(&calendars, &caldav::Calendars::calendarsChanged, &control, [guard, first] {
        QComboBox* popup = guard->calendarPopup();
        const bool nothingChosen = popup->currentIndex() <= 0;
        guard->updateCalendarList();
        // The calendar chosen in the last run may be a CalDAV one, which arrives after the start.
        if (*first && nothingChosen) {
            const int saved = popup->findText(UserDefaults::standard().string(QStringLiteral("calendar")));
            if (saved > 0)
                popup->setCurrentIndex(saved);
        }
        *first = false;
    });
    caldav::Passwords::setPrompt([guard](const caldav::Account& account, const QString& why,
                                         std::function<void(std::optional<QString>)> answer) {
        if (!guard) {
            answer(std::nullopt);
            return;
        }
        QString text = QStringLiteral("The password of the CalDAV account \"%1\" (%2 at %3):")
                           .arg(account.name, account.user, account.url.toDisplayString());
        if (!why.isEmpty())
            text.prepend(why.left(1).toUpper() + why.mid(1) + QStringLiteral(".\n"));
        Dialogs::password(guard->mainWindow(), QStringLiteral("CalDAV Password"), text, std::move(answer));
    });
    if (!caldav::Accounts::load().isEmpty())
        calendars.refresh();
}

bool isCalDavCalendar(const QString& title)
{
    return aCalendar::isSourceCalendar(title);
}

void importCalendar(AppControl& control, const QString& title)
{
    QPointer<AppControl> guard(&control);
    QPointer<WorkSheet> sheet
        = new WorkSheet(control.mainWindow(), QStringLiteral("Reading the calendar \"%1\"…").arg(title), 0);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    auto cancelled = std::make_shared<bool>(false);
    QObject::connect(sheet->cancelButton(), &QPushButton::clicked, sheet, [sheet, cancelled] {
        *cancelled = true;
        sheet->close();
    });
    showLater(sheet);
    caldav::Calendars::instance().fetch(
        title,
        [guard, sheet, cancelled](std::optional<QList<caldav::Resource>> resources, int unreadable, QString why) {
            if (sheet)
                sheet->close();
            if (*cancelled || !guard)
                return;
            if (!resources) {
                guard->errorMessage(why);
                return;
            }
            QString warnings = caldav::Calendars::readInto(guard->document(), *resources, unreadable);
            if (!why.isEmpty()) // only part of the calendar arrived
                warnings = warnings.isEmpty() ? why : why + QStringLiteral("\n\n") + warnings;
            if (!warnings.isEmpty())
                guard->warningMessage(warnings);
            guard->reloadData(true);
            guard->updateTheMenus();
        });
}

void appendToCalendar(AppControl& control, const QVariantMap& parameters, std::function<void()> done)
{
    caldav::AppendJob* job = caldav::Calendars::instance().append(control.document(), parameters);
    const QString title = parameters.value(QStringLiteral("theCalendar")).toString();
    QPointer<WorkSheet> sheet
        = new WorkSheet(control.mainWindow(),
                        QStringLiteral("Adding %1 %2 to the calendar \"%3\"…")
                            .arg(job->total())
                            .arg(job->total() == 1 ? QStringLiteral("entry") : QStringLiteral("entries"), title),
                        qMax(1, job->total()));
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<caldav::AppendJob> running(job);
    QObject::connect(sheet->cancelButton(), &QPushButton::clicked, job, [running] {
        if (running)
            running->cancel();
    });
    QObject::connect(job, &caldav::AppendJob::progress, sheet, [sheet](int answered, int) {
        if (sheet)
            sheet->bar()->setValue(answered);
    });
    QPointer<AppControl> guard(&control);
    QObject::connect(job, &caldav::AppendJob::finished, &control, [guard, sheet, job, done] {
        if (sheet)
            sheet->close();
        const caldav::AppendResult& result = job->result();
        // Everything in: nothing to say, as after an export to a file.
        if (guard && !result.complete())
            guard->errorMessage(result.report(15));
        if (done)
            done();
    });
    showLater(sheet);
}

QDialog* showAccounts(AppControl& control)
{
    auto* dialog = new CalDavAccountsDialog(control.mainWindow());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}
} // namespace CalDavWindow
