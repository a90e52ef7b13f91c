#include "repeatMatrices.h"

#include "repeatEditorState.h"

#include <QApplication>
#include <QGridLayout>
#include <QToolButton>

buttonMatrix::buttonMatrix(int rows, int columns, const QStringList& titles, const QStringList& tooltips,
                           QWidget* parent)
    : QWidget(parent)
    , m_rows(rows)
    , m_columns(columns)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    const int count = qMin(int(titles.size()), rows * columns);
    for (int i = 0; i < rows * columns; ++i) {
        QWidget* cell = nullptr;
        if (i < count) {
            auto* button = new QToolButton(this);
            button->setText(titles.at(i));
            button->setCheckable(true);
            button->setToolButtonStyle(Qt::ToolButtonTextOnly);
            button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            button->setAccessibleName(titles.at(i));
            const QString tip = tooltips.value(i);
            button->setToolTip(tip);
            button->setAccessibleDescription(tip);
            connect(button, &QToolButton::clicked, this, [this, i] { clicked(i); });
            m_buttons << button;
            m_cells << false;
            cell = button;
        } else {
            // A blank position: nothing to click, nothing for assistive technology to announce.
            cell = new QWidget(this);
            cell->setEnabled(false);
        }
        m_grid << cell;
        grid->addWidget(cell, i / columns, i % columns);
    }
}

QWidget* buttonMatrix::widgetAt(int row, int column) const
{
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns)
        return nullptr;
    return m_grid.value(row * m_columns + column);
}

void buttonMatrix::setCells(const QList<bool>& cells)
{
    for (int i = 0; i < m_cells.size(); ++i)
        m_cells[i] = cells.value(i);
    sync();
}

void buttonMatrix::clicked(int index)
{
    repeatEditorState::toggleKeepingOne(m_cells, index);
    sync();
    Q_EMIT cellToggled(index + 1);
}

void buttonMatrix::sync()
{
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons.at(i)->setChecked(m_cells.at(i));
}

namespace
{
QStringList weekTips()
{
    return {QStringLiteral("Monday"),   QStringLiteral("Tuesday"), QStringLiteral("Wednesday"),
            QStringLiteral("Thursday"), QStringLiteral("Friday"),  QStringLiteral("Saturday"),
            QStringLiteral("Sunday")};
}

QStringList dayTitles()
{
    QStringList titles;
    for (int d = 1; d <= 31; ++d)
        titles << QString::asprintf("%i", d);
    return titles;
}

QStringList dayTips()
{
    QStringList tips;
    for (int d = 1; d <= 31; ++d)
        tips << QStringLiteral("Day %1 of the month").arg(d);
    return tips;
}

QStringList monthTips()
{
    return {QStringLiteral("January"), QStringLiteral("February"), QStringLiteral("March"),
            QStringLiteral("April"),   QStringLiteral("May"),      QStringLiteral("June"),
            QStringLiteral("July"),    QStringLiteral("August"),   QStringLiteral("September"),
            QStringLiteral("October"), QStringLiteral("November"), QStringLiteral("December")};
}
} // namespace

weekMatrix::weekMatrix(QWidget* parent)
    : buttonMatrix(3, 3, repeatEditorState::weekCellTitles(), weekTips(), parent)
{
}

monthMatrix::monthMatrix(QWidget* parent)
    : buttonMatrix(6, 7, dayTitles(), dayTips(), parent)
{
    QFont small = QApplication::font();
    small.setPointSize(12);
    for (int tag = 1; tag <= cellCount(); ++tag)
        cellWithTag(tag)->setFont(small);
}

yearMatrix::yearMatrix(QWidget* parent)
    : buttonMatrix(3, 4, repeatEditorState::yearCellTitles(), monthTips(), parent)
{
}
