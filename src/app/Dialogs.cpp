#include "Dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace
{
QList<QVariant>& answers()
{
    static QList<QVariant> queue;
    return queue;
}

QStringList& entries()
{
    static QStringList list;
    return list;
}

/// Runs @p f on the next turn of the event loop unless @p parent has gone meanwhile.
void later(QWidget* parent, std::function<void()> f)
{
    QPointer<QWidget> guard(parent);
    const bool hadParent = parent != nullptr;
    QTimer::singleShot(0, [guard, hadParent, f = std::move(f)] {
        if (!hadParent || guard)
            f();
    });
}

QMessageBox* box(QWidget* parent, const QString& title, const QString& text)
{
    auto* b = new QMessageBox(parent);
    b->setAttribute(Qt::WA_DeleteOnClose);
    b->setWindowTitle(title);
    b->setText(title);
    b->setInformativeText(text);
    b->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    b->setAccessibleName(title);
    b->setAccessibleDescription(text);
    return b;
}
} // namespace

namespace Dialogs
{
void message(QWidget* parent, const QString& title, const QString& text)
{
    entries() << title + QLatin1String(": ") + text;
    if (!answers().isEmpty()) {
        answers().removeFirst();
        return;
    }
    QMessageBox* b = box(parent, title, text);
    b->setIcon(title == QLatin1String("Error!") ? QMessageBox::Critical : QMessageBox::Warning);
    b->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    b->open();
}

void ask(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
         std::function<void(int)> done)
{
    entries() << title + QLatin1String(": ") + text;
    if (!answers().isEmpty()) {
        const int index = answers().takeFirst().toInt();
        later(parent, [done, index] { done(index); });
        return;
    }
    QMessageBox* b = box(parent, title, text);
    b->setIcon(QMessageBox::Question);
    QList<QAbstractButton*> made;
    for (const QString& label : buttons) {
        QPushButton* button = b->addButton(label, made.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        button->setAccessibleName(label);
        made << button;
    }
    if (!made.isEmpty())
        b->setDefaultButton(static_cast<QPushButton*>(made.first()));
    QObject::connect(b, &QMessageBox::finished, b, [b, made, done] { done(int(made.indexOf(b->clickedButton()))); });
    b->open();
}

QString withRequiredSuffix(const QString& path, const QStringList& suffixes)
{
    if (path.isEmpty() || suffixes.isEmpty())
        return path;
    const QString suffix = QFileInfo(path).suffix();
    for (const QString& s : suffixes) {
        if (suffix.compare(s, Qt::CaseInsensitive) == 0)
            return path;
    }
    return path + QLatin1Char('.') + suffixes.first();
}

void saveFile(QWidget* parent, const QString& title, const QString& suggestedName, const QStringList& suffixes,
              std::function<void(QString)> done)
{
    entries() << QStringLiteral("save: ") + title;
    if (!answers().isEmpty()) {
        const QString path = withRequiredSuffix(answers().takeFirst().toString(), suffixes);
        later(parent, [done, path] { done(path); });
        return;
    }
    auto* d = new QFileDialog(parent, title);
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->setAcceptMode(QFileDialog::AcceptSave);
    d->setFileMode(QFileDialog::AnyFile);
    d->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    if (!suffixes.isEmpty()) {
        d->setDefaultSuffix(suffixes.first());
        QStringList patterns;
        for (const QString& s : suffixes)
            patterns << QStringLiteral("*.") + s;
        d->setNameFilter(QStringLiteral("%1 (%2)").arg(suffixes.first().toUpper(), patterns.join(QLatin1Char(' '))));
    }
    d->selectFile(suggestedName);
    QObject::connect(d, &QFileDialog::finished, d, [d, suffixes, done](int result) {
        const QStringList chosen = d->selectedFiles();
        done(result == QDialog::Accepted && !chosen.isEmpty() ? withRequiredSuffix(chosen.first(), suffixes)
                                                              : QString());
    });
    d->open();
}

void openFiles(QWidget* parent, const QString& title, const QStringList& nameFilters,
               std::function<void(QStringList)> done)
{
    entries() << QStringLiteral("open: ") + title;
    if (!answers().isEmpty()) {
        const QStringList paths = answers().takeFirst().toStringList();
        later(parent, [done, paths] { done(paths); });
        return;
    }
    auto* d = new QFileDialog(parent, title);
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->setAcceptMode(QFileDialog::AcceptOpen);
    d->setFileMode(QFileDialog::ExistingFiles);
    d->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    if (!nameFilters.isEmpty())
        d->setNameFilters(nameFilters);
    QObject::connect(d, &QFileDialog::finished, d,
                     [d, done](int result) { done(result == QDialog::Accepted ? d->selectedFiles() : QStringList()); });
    d->open();
}

void password(QWidget* parent, const QString& title, const QString& text,
              std::function<void(std::optional<QString>)> done)
{
    entries() << title + QLatin1String(": ") + text;
    if (!answers().isEmpty()) {
        const QString answer = answers().takeFirst().toString();
        later(parent, [done, answer] { done(answer.isEmpty() ? std::nullopt : std::optional<QString>(answer)); });
        return;
    }
    auto* d = new QDialog(parent);
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->setWindowTitle(title);
    d->setAccessibleName(title);
    d->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    auto* label = new QLabel(text, d);
    label->setWordWrap(true);
    label->setAccessibleName(text);
    auto* field = new QLineEdit(d);
    field->setEchoMode(QLineEdit::Password);
    field->setAccessibleName(QStringLiteral("Password"));
    field->setToolTip(QStringLiteral("Kept for this run only where the desktop has no password store"));
    field->setAccessibleDescription(field->toolTip());
    label->setBuddy(field);
    auto* buttons = new QDialogButtonBox(d);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    for (QPushButton* b : {ok, cancel})
        b->setAccessibleName(b->text());
    auto* layout = new QVBoxLayout(d);
    layout->addWidget(label);
    layout->addWidget(field);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, d, &QDialog::reject);
    QObject::connect(d, &QDialog::finished, d, [field, done](int result) {
        const QString typed = field->text();
        done(result == QDialog::Accepted && !typed.isEmpty() ? std::optional<QString>(typed) : std::nullopt);
    });
    d->open();
}

void queueAnswer(const QVariant& answer)
{
    answers() << answer;
}

void resetForTests()
{
    answers().clear();
    entries().clear();
}

QStringList log()
{
    return entries();
}
} // namespace Dialogs
