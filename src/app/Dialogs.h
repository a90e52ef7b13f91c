#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>

class QWidget;

/// Every alert, question and file panel of the window goes through here, so that tests can
/// answer them ahead of time.
///
/// All of them are window-modal and do not block the event loop: the answer arrives through the
/// callback, on the GUI thread, after the call has returned (also when a test answered it in
/// advance). A dialog whose parent is gone before it is answered calls nothing.
namespace Dialogs
{
/// One alert: title "Error!" or "Warning!", the message, one "OK" button.
void message(QWidget* parent, const QString& title, const QString& text);

/// A question with the given buttons (the first is the default); @p done receives the index of
/// the button chosen, or -1 when the dialog was closed otherwise.
void ask(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
         std::function<void(int)> done);

/// A save panel. @p suffixes are the extensions the file must have (without the dot; the first
/// is added when the name typed has none of them). @p done receives the path, or an empty text
/// when cancelled.
void saveFile(QWidget* parent, const QString& title, const QString& suggestedName, const QStringList& suffixes,
              std::function<void(QString)> done);

/// An open panel for existing files; @p nameFilters as in QFileDialog ("Calendars (*.ics *.ICS)").
/// @p done receives the chosen paths in the panel's order (empty when cancelled).
void openFiles(QWidget* parent, const QString& title, const QStringList& nameFilters,
               std::function<void(QStringList)> done);

/// A password question: @p text above a hidden field, "OK" and "Cancel". @p done receives the
/// password, or nullopt when cancelled (an empty field counts as cancelled).
void password(QWidget* parent, const QString& title, const QString& text,
              std::function<void(std::optional<QString>)> done);

/// The path with the first of @p suffixes added when it has none of them (case ignored).
QString withRequiredSuffix(const QString& path, const QStringList& suffixes);

// --- for tests ---
/// Queues the answer to the next dialog: an int (button index; 0 answers an alert) for message
/// and ask, a QString for saveFile and password (empty: cancel), a QStringList for openFiles. While answers
/// are queued no dialog is shown; each dialog takes the first one.
void queueAnswer(const QVariant& answer);
/// Drops the queued answers and the log.
void resetForTests();
/// Every dialog shown or answered since the last reset, as "TITLE: TEXT" (file panels as
/// "save: TITLE" / "open: TITLE").
QStringList log();
} // namespace Dialogs
